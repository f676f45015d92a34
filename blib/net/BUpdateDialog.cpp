#include "blib/net/BUpdateDialog.h"

#include "ui_UpdateDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

#include <QPushButton>

BUpdateDialog::BUpdateDialog(QWidget* parent, const BUpdateInfo& info)
    : QDialog(parent)
    , ui(new Ui::UpdateDialog)
    , m_info(info)
{
    initResources();
    ui->setupUi(this);

    // The change log comes from the network: shown as text, never as HTML.
    ui->changeLogTextBrowser->setPlainText(normalisedChangeLog(m_info.changeLog));
    ui->versionLabel->setText(tr("Your version is %1 and the latest version is %2.")
                                  .arg(QString::fromUtf8(BAppInfo::applicationVersion), m_info.latestVersion));

    ui->buttonBox->button(QDialogButtonBox::Yes)->setText(tr("Visit Download Page"));
    ui->buttonBox->button(QDialogButtonBox::No)->setText(tr("Later"));

    fixDialogHeight(this);
    centreOnParent(this);
}

BUpdateDialog::~BUpdateDialog()
{
    delete ui;
}

QString BUpdateDialog::normalisedChangeLog(const QString& changeLog)
{
    QString text = changeLog;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void BUpdateDialog::accept()
{
    openUrl(QString::fromUtf8(BAppInfo::downloadPageAddress));
}
