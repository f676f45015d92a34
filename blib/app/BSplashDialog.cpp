#include "blib/app/BSplashDialog.h"

#include "ui_SplashDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BResources.h"

#include <QMouseEvent>

BSplashDialog::BSplashDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SplashDialog)
{
    initResources();
    ui->setupUi(this);

    const QString webAddress = QString::fromUtf8(BAppInfo::webAddress);
    ui->titleLabel->setText(QString::fromUtf8(BAppInfo::applicationName));
    ui->appnameLabel->setText(QStringLiteral("%1 v%2").arg(QString::fromUtf8(BAppInfo::productName),
                                                           QString::fromUtf8(BAppInfo::applicationVersion)));
    ui->urlLabel->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(webAddress, webAddress.toHtmlEscaped()));
    ui->copyrightLabel->setText(QString::fromUtf8(BAppInfo::copyrightNotice));

    ui->frame->setObjectName(QStringLiteral("splashDialogFrame"));
    ui->frame->setStyleSheet(QStringLiteral("#splashDialogFrame { border: 1px solid #555555; }"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint); // 2063
    // The splash closing must not end the program while the main window is
    // hidden in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(sizeHint());
}

BSplashDialog::~BSplashDialog()
{
    delete ui;
}

void BSplashDialog::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    accept();
}
