#ifndef TOLVANE_TOLVANE_H
#define TOLVANE_TOLVANE_H

#include <QMainWindow>
#include <QPointer>
#include <QScopedPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QThread>

class QCloseEvent;
class QEvent;
class QIDCardRead;
class QLabel;
class QMenu;
class QTimer;
class SettingsRefresher;
class WebSocketServerThread;

namespace Ui {
class TolvaneDialog;
}

// The program's main window and the hub of its parts: it loads the settings,
// runs the bridge worker on a thread of its own, hosts the pages and lives in
// the notification area while it is hidden.
class Tolvane : public QMainWindow
{
    Q_OBJECT

public:
    explicit Tolvane(QWidget *parent = nullptr);
    ~Tolvane() override;

    // How long the end of the program waits for the bridge thread to close its
    // clients and the card reader.
    static constexpr int bridgeShutdownTimeoutMs = 3000;

    const QSystemTrayIcon &systemTrayIcon() const { return trayIcon; }

signals:
    void startWebSocket();
    void startPlay(QString ip, int port);
    void signal_stop_preview();

public slots:
    void showIdCardDlg();
    void showFaceDlg();
    void on_actExitApp_triggered();
    void StartWork();
    void TrayIconactivated(QSystemTrayIcon::ActivationReason reason);
    void slot_begin_collect(QString ip, int port);
    void slot_hide();
    void download_setting();
    void slot_updateTime();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void initUi();
    void initPages();
    void showTrayIcon();
    void stopBridge();

    QScopedPointer<Ui::TolvaneDialog> ui;
    QIDCardRead *idCardPage = nullptr;
    // The face collection page; added to the page stack by initPages() once it
    // exists. Until then the face actions do nothing.
    QWidget *facePage = nullptr;
    QLabel *versionLabel = nullptr;
    QLabel *clockLabel = nullptr;
    QTimer *clockTimer = nullptr;
    // The thread deletes itself once finished; the pointer then turns null.
    QPointer<QThread> bridgeThread;
    WebSocketServerThread *bridgeWorker = nullptr;
    // Declared before the tray icon, which is destroyed first and refers to it.
    QScopedPointer<QMenu> trayMenu;
    QSystemTrayIcon trayIcon;
    QScopedPointer<SettingsRefresher> settingsRefresher;
};

#endif
