#include "app/gui/DatabaseReportDialog.h"

#include "app/database/BreachedPasswordFile.h"
#include "app/database/BreachedPasswordRangeTask.h"
#include "app/gui/StrengthChartWidget.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageAuthenticationCode>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

enum Column { EntryColumn, GroupColumn, KindColumn, DetailColumn };

} // namespace

DatabaseReportDialog::DatabaseReportDialog(QWidget* parent, const PasswordDatabase* database)
    : QDialog(parent)
    , m_database(database)
    , m_salt(randomBytes(32))
{
    setObjectName(QStringLiteral("DatabaseReportDialog"));
    setWindowTitle(tr("Database Report"));
    resize(720, 600);
    auto* layout = new QVBoxLayout(this);

    auto* summary = new QGridLayout();
    m_scoreLabel = new QLabel(this);
    m_scoreLabel->setObjectName(QStringLiteral("scoreLabel"));
    QFont big = m_scoreLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_scoreLabel->setFont(big);
    summary->addWidget(m_scoreLabel, 0, 0, 3, 1);
    for (int kind = 0; kind < DatabaseReport::KindCount; ++kind) {
        m_countLabels[kind] = new QLabel(this);
        m_countLabels[kind]->setObjectName(DatabaseReport::kindKey(DatabaseReport::Kind(kind)) + QStringLiteral("CountLabel"));
        summary->addWidget(m_countLabels[kind], kind % 3, 1 + kind / 3);
    }
    summary->setColumnStretch(0, 1);
    summary->setColumnStretch(1, 1);
    summary->setColumnStretch(2, 1);
    layout->addLayout(summary);

    m_chart = new StrengthChartWidget(this);
    layout->addWidget(m_chart);

    m_findingsTree = new QTreeWidget(this);
    m_findingsTree->setObjectName(QStringLiteral("findingsTreeWidget"));
    m_findingsTree->setHeaderLabels({ tr("Entry"), tr("Group"), tr("Kind"), tr("Detail") });
    m_findingsTree->setRootIsDecorated(false);
    m_findingsTree->setAlternatingRowColors(true);
    m_findingsTree->setSortingEnabled(true);
    m_findingsTree->sortByColumn(EntryColumn, Qt::AscendingOrder);
    m_findingsTree->header()->setSectionResizeMode(DetailColumn, QHeaderView::Stretch);
    connect(m_findingsTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (const PasswordDatabase::Password* password = passwordOf(item))
            emit passwordChosen(password);
    });
    layout->addWidget(m_findingsTree, 1);

    auto* breaches = new QGroupBox(tr("Breached passwords"), this);
    auto* breachLayout = new QGridLayout(breaches);
    auto* listButton = new QPushButton(tr("Check Against Downloaded List..."), breaches);
    listButton->setObjectName(QStringLiteral("checkListButton"));
    connect(listButton, &QPushButton::clicked, this, &DatabaseReportDialog::chooseList);
    breachLayout->addWidget(listButton, 0, 0);
    m_onlineButton = new QPushButton(tr("Check Online"), breaches);
    m_onlineButton->setObjectName(QStringLiteral("checkOnlineButton"));
    connect(m_onlineButton, &QPushButton::clicked, this, &DatabaseReportDialog::checkOnline);
    breachLayout->addWidget(m_onlineButton, 0, 1);
    m_onlineCheckBox = new QCheckBox(tr("Allow the online check"), breaches);
    m_onlineCheckBox->setObjectName(QStringLiteral("allowOnlineCheckBox"));
    m_onlineCheckBox->setChecked(BreachedPasswordRangeTask::onlineCheckEnabled());
    connect(m_onlineCheckBox, &QCheckBox::toggled, this, [this](bool allowed) {
        setBoolSetting(QStringLiteral("app.settings.checkBreachesOnline"), allowed);
        m_onlineButton->setEnabled(allowed && m_database->isOpen() && !m_database->isLocked());
    });
    breachLayout->addWidget(m_onlineCheckBox, 1, 0, 1, 2);
    auto* explanation = new QLabel(tr("The online check sends only the first 5 characters of the SHA-1 hash of "
                                      "each password to %1; the passwords and the rest of their hashes never "
                                      "leave this computer.")
                                       .arg(QUrl(BreachedPasswordRangeTask::serviceBaseUrl()).host()),
                                   breaches);
    explanation->setObjectName(QStringLiteral("onlineCheckExplanationLabel"));
    explanation->setWordWrap(true);
    breachLayout->addWidget(explanation, 2, 0, 1, 2);
    m_statusLabel = new QLabel(breaches);
    m_statusLabel->setObjectName(QStringLiteral("breachStatusLabel"));
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setTextFormat(Qt::PlainText);
    breachLayout->addWidget(m_statusLabel, 3, 0, 1, 2);
    layout->addWidget(breaches);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    refresh();
}

DatabaseReportDialog::~DatabaseReportDialog()
{
    wipe(m_salt);
}

const PasswordDatabase::Password* DatabaseReportDialog::passwordOf(const QTreeWidgetItem* item)
{
    return item ? reinterpret_cast<const PasswordDatabase::Password*>(item->data(EntryColumn, Qt::UserRole).value<quintptr>())
                : nullptr;
}

QByteArray DatabaseReportDialog::fingerprint(const QString& password) const
{
    QByteArray utf8 = password.toUtf8();
    const QByteArray digest = QMessageAuthenticationCode::hash(utf8, m_salt, QCryptographicHash::Sha256);
    wipe(utf8);
    return digest;
}

QStringList DatabaseReportDialog::distinctPasswords() const
{
    QStringList passwords;
    QSet<QString> seen;
    for (const PasswordDatabase::Password* password : DatabaseReport::candidates(*m_database)) {
        const QString& text = password->getPassword();
        if (!text.isEmpty() && !seen.contains(text)) {
            seen.insert(text);
            passwords.append(text);
        }
    }
    return passwords;
}

void DatabaseReportDialog::refresh()
{
    const bool usable = m_database->isOpen() && !m_database->isLocked();
    // The rows point at entries that may be gone: they go first.
    m_findingsTree->clear();
    if (!usable) {
        m_report.clear();
        m_breaches.clear();
        m_breachesChecked = false;
        m_statusLabel->clear();
    } else {
        QHash<const PasswordDatabase::Password*, qint64> counts;
        if (!m_breaches.isEmpty()) {
            for (const PasswordDatabase::Password* password : DatabaseReport::candidates(*m_database)) {
                const qint64 count = m_breaches.value(fingerprint(password->getPassword()), 0);
                if (count > 0)
                    counts.insert(password, count);
            }
        }
        m_report.build(*m_database, QDateTime::currentDateTime(), counts);
    }

    m_scoreLabel->setText(usable ? tr("Score: %1 / 100").arg(m_report.score()) : tr("No open database."));
    const QString countTexts[DatabaseReport::KindCount] = {
        tr("Weak: %1"), tr("Re-used: %1"), tr("Expired: %1"),
        tr("Expiring within %1 days: %2").arg(DatabaseReport::expiringDays), tr("Breached: %1")
    };
    for (int kind = 0; kind < DatabaseReport::KindCount; ++kind) {
        QString value = QString::number(m_report.count(DatabaseReport::Kind(kind)));
        if (kind == DatabaseReport::Breached && !m_breachesChecked)
            value = tr("not checked");
        m_countLabels[kind]->setText(usable ? countTexts[kind].arg(value) : QString());
    }
    QList<int> ratings;
    for (int rating = 0; rating < DatabaseReport::ratingCount; ++rating)
        ratings << m_report.ratingTotal(rating);
    m_chart->setCounts(ratings);
    m_chart->setVisible(usable);

    m_findingsTree->setSortingEnabled(false);
    for (const DatabaseReport::Finding& finding : m_report.findings()) {
        auto* item = new QTreeWidgetItem(m_findingsTree);
        item->setText(EntryColumn, finding.password->getName());
        item->setData(EntryColumn, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(finding.password)));
        const PasswordDatabase::Group* group = finding.password->getParent();
        item->setText(GroupColumn, group ? group->getFullName() : QString());
        item->setText(KindColumn, DatabaseReport::kindName(finding.kind));
        item->setText(DetailColumn, finding.detail);
        item->setToolTip(DetailColumn, finding.detail);
    }
    m_findingsTree->setSortingEnabled(true);
    m_findingsTree->setEnabled(usable);
    for (QPushButton* button : findChildren<QPushButton*>(QStringLiteral("checkListButton")))
        button->setEnabled(usable);
    m_onlineButton->setEnabled(usable && m_onlineCheckBox->isChecked());
}

void DatabaseReportDialog::showStatus(const QString& text)
{
    m_statusLabel->setText(text);
}

void DatabaseReportDialog::chooseList()
{
    const QString path = getExistingFileName(this, tr("Choose a List of Breached Passwords"),
                                             stringSetting(QStringLiteral("app.report.breachListDir"), QString()));
    if (path.isEmpty())
        return;
    setStringSetting(QStringLiteral("app.report.breachListDir"), QFileInfo(path).absolutePath());
    checkAgainstList(path);
}

bool DatabaseReportDialog::checkAgainstList(const QString& path)
{
    if (!m_database->isOpen() || m_database->isLocked())
        return false;
    BreachedPasswordFile list;
    if (!list.open(path)) {
        showStatus(list.errorText());
        showError(this, tr("List Refused"), list.errorText());
        return false;
    }
    QHash<QByteArray, qint64> found;
    bool failed = false;
    for (const QString& password : distinctPasswords()) {
        QByteArray hash = BreachedPasswordFile::sha1Hex(password);
        const qint64 count = list.lookup(hash);
        wipe(hash);
        if (count < 0) {
            failed = true;
            break;
        }
        if (count > 0)
            found.insert(fingerprint(password), count);
    }
    if (failed) {
        showStatus(list.errorText());
        showError(this, tr("List Refused"), list.errorText());
        return false;
    }
    m_breaches = found;
    m_breachesChecked = true;
    showStatus(tr("Checked against %1.").arg(QDir::toNativeSeparators(path)));
    refresh();
    return true;
}

bool DatabaseReportDialog::checkOnline()
{
    if (!m_database->isOpen() || m_database->isLocked() || !BreachedPasswordRangeTask::onlineCheckEnabled())
        return false;
    const QStringList passwords = distinctPasswords();
    QList<QByteArray> hashes;
    for (const QString& password : passwords)
        hashes << BreachedPasswordFile::sha1Hex(password);
    BreachedPasswordRangeTask task(BreachedPasswordRangeTask::serviceBaseUrl(), hashes);
    for (QByteArray& hash : hashes)
        wipe(hash);
    QString error;
    const BTaskResult result = BTaskDialog::run(this, &task, false, &error);
    // A lock while the check ran took the entries away.
    if (!m_database->isOpen() || m_database->isLocked())
        return false;
    if (result != Success) {
        showStatus(result == Cancelled ? tr("The online check was cancelled.") : error);
        return false;
    }
    QHash<QByteArray, qint64> found;
    const QList<qint64> counts = task.counts();
    for (int i = 0; i < passwords.size() && i < counts.size(); ++i) {
        if (counts.at(i) > 0)
            found.insert(fingerprint(passwords.at(i)), counts.at(i));
    }
    m_breaches = found;
    m_breachesChecked = true;
    showStatus(tr("Checked online at %1.").arg(BreachedPasswordRangeTask::serviceBaseUrl()));
    refresh();
    return true;
}
