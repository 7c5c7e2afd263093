#include "Tolvane.h"

#include "ui_Tolvane.h"

#include "QIDCardRead.h"
#include "Settings.h"
#include "SettingsRefresher.h"
#include "SharedRecords.h"
#include "WebSocketServerThread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

// The resources are compiled into this static library; nothing else would pull
// them into the program.
static void initResources()
{
    Q_INIT_RESOURCE(Tolvane);
}

namespace {
const QSize idCardPageSize(900, 400);
const QSize facePageSize(1024, 700);
} // namespace

Tolvane::Tolvane(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TolvaneDialog)
    , settingsRefresher(new SettingsRefresher)
{
    initResources();
    // A tray agent: hiding or closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // At a session end Qt would otherwise try to close every window and cancel
    // the logout or shutdown when one refuses, as this window always does.
    QGuiApplication::setFallbackSessionManagementEnabled(false);

    loadSettings();

    QFile styleSheet(QStringLiteral(":/Resources/IdCardDialog.qss"));
    if (!styleSheet.open(QIODevice::ReadOnly))
        qWarning() << "Style sheet missing from the resources:" << styleSheet.fileName();
    qApp->setStyleSheet(QString::fromUtf8(styleSheet.readAll()));

    clockTimer = new QTimer(this);
    ui->setupUi(this);
    registerSharedRecords();

    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(size());
    connect(clockTimer, &QTimer::timeout, this, &Tolvane::slot_updateTime);
    clockTimer->start(1000);

    initUi();
    StartWork();

    // changeEvent puts the window into the tray once the event loop runs.
    setWindowState(Qt::WindowMinimized);
    statusBar()->showMessage(tr("程序运行中,欢迎使用!"));
}

Tolvane::~Tolvane()
{
    settingsRefresher->stop();
    stopBridge();
}

void Tolvane::initUi()
{
    trayIcon.setToolTip(tr("信息采集程序"));
    trayIcon.setIcon(QIcon(QStringLiteral(":/image/Tolvane.ico")));

    versionLabel = new QLabel(this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setText(QStringLiteral("V1.1.0"));
    clockLabel = new QLabel(this);
    clockLabel->setObjectName(QStringLiteral("clockLabel"));

    statusBar()->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    statusBar()->addPermanentWidget(clockLabel, 0);
    statusBar()->addPermanentWidget(versionLabel, 0);

    trayMenu.reset(new QMenu);
    trayMenu->addAction(ui->actExitApp);
    trayIcon.setContextMenu(trayMenu.data());
    connect(&trayIcon, &QSystemTrayIcon::activated, this, &Tolvane::TrayIconactivated);

    ui->mainToolBar->setMovable(false);
    initPages();
}

void Tolvane::initPages()
{
    idCardPage = new QIDCardRead(this);
    // Here the page shows what browsers read; reads are not started from it.
    idCardPage->hideReadControls();
    // The face collection page joins here: created with this window as parent,
    // its signal_hidewindows to slot_hide, signal_stop_preview to its
    // slot_stop_preview; StartWork wires it to the bridge.

    // The form's two placeholder pages make room for the real ones.
    delete ui->page;
    ui->page = nullptr;
    delete ui->page_2;
    ui->page_2 = nullptr;
    ui->pageStack->addWidget(idCardPage);
    if (facePage)
        ui->pageStack->addWidget(facePage);
    ui->pageStack->setCurrentWidget(idCardPage);

    connect(ui->actIdRead, &QAction::triggered, this, &Tolvane::showIdCardDlg);
    connect(ui->actFaceCollect, &QAction::triggered, this, &Tolvane::showFaceDlg);
    setFixedSize(idCardPageSize);
}

void Tolvane::StartWork()
{
    if (bridgeThread)
        return;
    bridgeThread = new QThread;
    bridgeWorker = new WebSocketServerThread;
    bridgeWorker->moveToThread(bridgeThread);
    connect(bridgeThread, &QThread::finished, bridgeWorker, &QObject::deleteLater);
    connect(bridgeThread, &QThread::finished, bridgeThread, &QObject::deleteLater);

    connect(bridgeWorker, &WebSocketServerThread::signal_DataComplete, idCardPage, &QIDCardRead::show_Msg);
    connect(this, &Tolvane::startWebSocket, bridgeWorker, &WebSocketServerThread::slot_startwork);
    connect(idCardPage, &QIDCardRead::signal_click_read, bridgeWorker, &WebSocketServerThread::slot_readcard);
    connect(bridgeWorker, &WebSocketServerThread::signal_beginCollect, this, &Tolvane::slot_begin_collect);
    // With the face collection page: startPlay to its StartWork, and its
    // signal_collectComplete to the worker's slot_recCollectFace.

    bridgeThread->start();
    emit startWebSocket();
    download_setting();
}

void Tolvane::stopBridge()
{
    if (!bridgeThread)
        return;
    // The worker is deleted on its own thread as the thread finishes: it closes
    // every client and the card reader. Waiting lets that happen before the
    // process ends.
    bridgeThread->quit();
    if (!bridgeThread->wait(bridgeShutdownTimeoutMs)) {
        qWarning() << "The bridge thread did not end within" << bridgeShutdownTimeoutMs
                   << "ms; clients and the card reader may stay open";
        return;
    }
    delete bridgeThread.data();
}

void Tolvane::showIdCardDlg()
{
    ui->pageStack->setCurrentWidget(idCardPage);
    setFixedSize(idCardPageSize);
    emit signal_stop_preview();
}

void Tolvane::showFaceDlg()
{
    if (!facePage)
        return;
    setFixedSize(facePageSize);
    ui->pageStack->setCurrentWidget(facePage);
    emit startPlay(QString(), 1);
}

void Tolvane::on_actExitApp_triggered()
{
    QCoreApplication::exit(0);
}

void Tolvane::TrayIconactivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
        return;
    // A minimised window would only come back as a task bar entry, and desktops
    // without a task bar would have no way left to reach it.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    trayIcon.hide();
}

void Tolvane::slot_begin_collect(QString ip, int port)
{
    if (!facePage) {
        qInfo() << "Face request of" << ip << port << "not served: no face collection page";
        return;
    }
    if (windowState() == Qt::WindowMinimized) {
        setWindowState(Qt::WindowMaximized);
        setWindowFlags(Qt::WindowStaysOnTopHint);
    }
    setWindowState(Qt::WindowActive);
    setFixedSize(facePageSize);
    emit startPlay(ip, port);
    show();
    setFocus();
    ui->pageStack->setCurrentWidget(facePage);
}

void Tolvane::slot_hide()
{
    QTimer::singleShot(0, this, &QWidget::hide);
    ui->pageStack->setCurrentWidget(idCardPage);
    showTrayIcon();
}

void Tolvane::download_setting()
{
    settingsRefresher->start();
}

void Tolvane::slot_updateTime()
{
    clockLabel->setText(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd ddd HH:mm:ss")));
}

void Tolvane::closeEvent(QCloseEvent *event)
{
    QTimer::singleShot(0, this, &QWidget::hide);
    showTrayIcon();
    event->ignore();
}

void Tolvane::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        QTimer::singleShot(0, this, &QWidget::hide);
        showTrayIcon();
        emit signal_stop_preview();
    }
    QMainWindow::changeEvent(event);
}

void Tolvane::showTrayIcon()
{
    trayIcon.show();
    trayIcon.showMessage(tr("提示"), tr("信息采集程序"), QSystemTrayIcon::Information, 10000);
}
