#include "blib/app/BAboutDialog.h"

#include <QCoreApplication>

#include "ui_AboutDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

namespace {
const char* const separator = "--------------------------------"; // 32 hyphens
}

BAboutDialog::BAboutDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    initResources();
    ui->setupUi(this);

    const QString webAddress = QString::fromUtf8(BAppInfo::webAddress);
    setWindowTitle(QStringLiteral("%1 %2").arg(tr("About"), QString::fromUtf8(BAppInfo::applicationName)));
    ui->titleLabel->setText(QString::fromUtf8(BAppInfo::productName));
    ui->versionLabel->setText(QString::fromUtf8(BAppInfo::applicationVersion));
    ui->builtAtLabel->setText(buildDateTime());
    ui->websiteLabel->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(webAddress, webAddress.toHtmlEscaped()));
    ui->copyrightLabel->setText(QCoreApplication::translate("BAppInfo", BAppInfo::copyrightNotice));

    // Plain text: the documents are not HTML, and a "<" in them must show.
    ui->licenceTextBrowser->setPlainText(licenceText());
    ui->changeLogTextBrowser->setPlainText(resourceText(150));

    fixDialogHeight(this);
    centreOnParent(this);
}

BAboutDialog::~BAboutDialog()
{
    delete ui;
}

QString BAboutDialog::buildDateTime()
{
    // __DATE__ is "Mmm dd yyyy" with the day padded by a blank.
    return QStringLiteral("%1 %2").arg(QStringLiteral(__DATE__), QStringLiteral(__TIME__));
}

QString BAboutDialog::licenceText()
{
    const QString line = QString::fromLatin1(separator);
    QString text = QStringLiteral("%1 Licence\n%2\n%3")
                       .arg(QString::fromUtf8(BAppInfo::productName), line, resourceText(151));
    text += QStringLiteral("\n\nzxcvbn Licence\n%1\n%2").arg(line, resourceText(152));
    text += QStringLiteral("\n\nQt Toolkit Licence\n%1\n%2").arg(line, resourceText(153));
    return text;
}
