#ifndef TOLVANE_QIDCARDREAD_H
#define TOLVANE_QIDCARDREAD_H

#include "IDCardReadData.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class QIDCardRead;
}

// The ID card page: shows the person data and photo of the last card read.
// It never talks to the reader; its button only asks for a read.
class QIDCardRead : public QDialog
{
    Q_OBJECT

public:
    explicit QIDCardRead(QWidget *parent = nullptr);
    ~QIDCardRead() override;

    // Inside the main window the page only shows what browsers have read.
    void hideReadControls();

signals:
    void signal_click_read();

public slots:
    void on_btn_read_clicked();
    void show_Msg(int type, IDCardReadData &message);
    void postMessage(IDCardReadData cardData);

private:
    QScopedPointer<Ui::QIDCardRead> ui;
};

#endif
