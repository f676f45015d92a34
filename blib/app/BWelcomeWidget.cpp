#include "blib/app/BWelcomeWidget.h"

#include "ui_WelcomeWidget.h"

#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"

#include <QAction>
#include <QCommandLinkButton>
#include <QLabel>
#include <QVBoxLayout>

namespace {
const char* const clearLink = "clearRecentFiles";
}

BWelcomeWidget::BWelcomeWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::WelcomeWidget)
{
    ui->setupUi(this);
    connect(ui->clearRecentFilesLabel, &QLabel::linkActivated, this, &BWelcomeWidget::recentFilesLinkActivated);
    connect(ui->recentFilesLabel, &QLabel::linkActivated, this, &BWelcomeWidget::recentFilesLinkActivated);
    ui->actionsWidget->hide();
    refreshRecentFiles();

    // Usage statistics stay off until the user agrees; the question is
    // asked here, without a box in the way, until it has an answer.
    if (!containsSetting(QStringLiteral("blib.analytics.enabled")) && layout()) {
        auto* question = new QLabel(this);
        question->setObjectName(QStringLiteral("analyticsQuestionLabel"));
        question->setWordWrap(true);
        question->setText(tr("Send anonymous usage statistics to help improve Lockharbour? "
                             "<a href=\"yes\">Yes</a> &nbsp; <a href=\"no\">No</a> "
                             "(you can change this in the settings)"));
        connect(question, &QLabel::linkActivated, question, [question](const QString& answer) {
            setAnalyticsEnabled(answer == QLatin1String("yes"));
            question->hide();
        });
        layout()->addWidget(question);
    }
}

BWelcomeWidget::~BWelcomeWidget()
{
    delete ui;
}

void BWelcomeWidget::addAction(QAction* action)
{
    ui->actionsWidget->show();
    if (!m_actionsLayout) {
        m_actionsLayout = new QVBoxLayout(ui->actionsListWidget);
        m_actionsLayout->setContentsMargins(0, 0, 0, 0);
    }
    auto* button = new QCommandLinkButton(action->text(), ui->actionsListWidget);
    button->setToolTip(action->toolTip());
    button->setIcon(action->icon());
    button->setIconSize(QSize(32, 32));
    connect(button, &QCommandLinkButton::clicked, action, &QAction::trigger);
    m_actionsLayout->addWidget(button);
}

void BWelcomeWidget::refreshRecentFiles()
{
    const QStringList files = stringListSetting(QStringLiteral("blib.recentFiles"));
    if (files.isEmpty()) {
        ui->recentFilesLabel->clear();
        ui->recentFilesWidget->hide();
        return;
    }

    QString links;
    for (const QString& path : files) {
        // The shown text is escaped so that "<" or "&" in a path display as
        // written; the href keeps the exact path in Base64.
        links += QStringLiteral("<a href=\"%1\">%2</a><br/>")
                     .arg(QString::fromLatin1(path.toUtf8().toBase64()), path.toHtmlEscaped());
    }
    ui->recentFilesLabel->setText(links);
    ui->recentFilesWidget->show();
}

void BWelcomeWidget::recentFilesLinkActivated(const QString& link)
{
    if (link == QLatin1String(clearLink)) {
        emit clearRecentFilesClicked();
        return;
    }
    emit recentFileClicked(QString::fromUtf8(QByteArray::fromBase64(link.toLatin1())));
}
