#include "QIDCardRead.h"

#include "ui_QIDCardRead.h"

#include <QDir>
#include <QPixmap>

namespace {

// The card photo that the reading wrote for this ID number, or an empty path when
// the number cannot name a file of the card photo folder (empty, or with a path
// separator that would reach elsewhere).
QString cardPhotoPath(const QString &idCard)
{
    if (idCard.isEmpty() || idCard.contains(QLatin1Char('/')) || idCard.contains(QLatin1Char('\\'))
        || idCard.startsWith(QLatin1Char('.')))
        return QString();
    return QStringLiteral("%1/cardphoto/%2.jpg").arg(QDir::currentPath(), idCard);
}

} // namespace

QIDCardRead::QIDCardRead(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::QIDCardRead)
{
    ui->setupUi(this);
}

QIDCardRead::~QIDCardRead() = default;

void QIDCardRead::hideReadControls()
{
    ui->btn_read->hide();
    ui->plainTextEdit->hide();
}

void QIDCardRead::on_btn_read_clicked()
{
    emit signal_click_read();
}

void QIDCardRead::show_Msg(int type, IDCardReadData &message)
{
    Q_UNUSED(type)
    ui->edit_name->setText(message.name);
    ui->edit_sex->setText(message.sex);
    ui->edit_idcard->setText(message.idCard);
    ui->edit_birthday->setText(message.birthday);
    ui->edit_nation->setText(message.nation);
    // An 18-digit number is wider than its field: show where it begins.
    for (QLineEdit *edit : {ui->edit_name, ui->edit_sex, ui->edit_idcard, ui->edit_birthday, ui->edit_nation})
        edit->setCursorPosition(0);

    // A missing or unreadable file gives a null pixmap, which clears the picture.
    QPixmap photo;
    const QString path = cardPhotoPath(message.idCard);
    if (!path.isEmpty() && photo.load(path))
        photo = photo.scaled(ui->lab_photo->size(), Qt::KeepAspectRatio, Qt::FastTransformation);
    ui->lab_photo->setPixmap(photo);
}

void QIDCardRead::postMessage(IDCardReadData cardData)
{
    Q_UNUSED(cardData)
}
