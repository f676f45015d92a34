#include "app/gui/FindWidget.h"

#include "ui_FindWidget.h"

#include "app/gui/PasswordSearchResults.h"
#include "blib/app/BSettings.h"

#include <QKeyEvent>
#include <QSet>

namespace {

struct BoxSetting {
    QCheckBox* Ui::FindWidget::*box;
    const char* key;
    bool defaultValue;
};

const BoxSetting boxSettings[] = {
    { &Ui::FindWidget::matchCaseCheckBox, "app.findWidget.matchCase", false },
    { &Ui::FindWidget::nameCheckBox, "app.findWidget.name", true },
    { &Ui::FindWidget::usernameCheckBox, "app.findWidget.username", false },
    { &Ui::FindWidget::passwordCheckBox, "app.findWidget.password", false },
    { &Ui::FindWidget::urlCheckBox, "app.findWidget.url", true },
    { &Ui::FindWidget::noteCheckBox, "app.findWidget.note", false },
    { &Ui::FindWidget::backupGroupCheckBox, "app.findWidget.backupGroup", false },
};

} // namespace

FindWidget::FindWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::FindWidget)
{
    ui->setupUi(this);
    for (const BoxSetting& setting : boxSettings) {
        QCheckBox* box = ui->*setting.box;
        box->setChecked(boolSetting(QString::fromLatin1(setting.key), setting.defaultValue));
        connect(box, &QCheckBox::toggled, this, &FindWidget::checkboxToggled);
    }
    connect(ui->findLineEdit, &QLineEdit::textChanged, this, &FindWidget::findTextChanged);
    connect(ui->findLineEdit, &QLineEdit::returnPressed, this, &FindWidget::findNext);
    connect(ui->findNextButton, &QPushButton::clicked, this, &FindWidget::findNext);
    connect(ui->findPreviousButton, &QPushButton::clicked, this, &FindWidget::findPrevious);
    connect(ui->closeButton, &QPushButton::clicked, this, &QWidget::hide);
    ui->findLineEdit->installEventFilter(this);
}

FindWidget::~FindWidget()
{
    for (const BoxSetting& setting : boxSettings)
        setBoolSetting(QString::fromLatin1(setting.key), (ui->*setting.box)->isChecked());
    delete ui;
}

void FindWidget::setDatabase(const PasswordDatabase* database)
{
    m_database = database;
    m_results.clear();
    m_index = 0;
    m_backwards = false;
}

int FindWidget::findFlags() const
{
    int flags = 0;
    if (ui->matchCaseCheckBox->isChecked())
        flags |= PasswordDatabase::FindCaseSensitive;
    if (ui->nameCheckBox->isChecked())
        flags |= PasswordDatabase::FindName;
    if (ui->usernameCheckBox->isChecked())
        flags |= PasswordDatabase::FindUsername;
    if (ui->passwordCheckBox->isChecked())
        flags |= PasswordDatabase::FindPassword;
    if (ui->urlCheckBox->isChecked())
        flags |= PasswordDatabase::FindUrl;
    if (ui->noteCheckBox->isChecked())
        flags |= PasswordDatabase::FindNote;
    return flags;
}

bool FindWidget::includesBackupGroup() const
{
    return ui->backupGroupCheckBox->isChecked();
}

QString FindWidget::text() const
{
    return ui->findLineEdit->text();
}

void FindWidget::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit searchChanged();
}

bool FindWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->findLineEdit && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
        emit downPressed();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FindWidget::show()
{
    QWidget::show();
    // The database may have changed since the bar was last open.
    search();
    emit searchChanged();
    ui->findLineEdit->setFocus();
    ui->findLineEdit->selectAll();
}

void FindWidget::checkboxToggled(bool)
{
    search();
    emit searchChanged();
    step();
}

void FindWidget::findTextChanged(QString)
{
    search();
    emit searchChanged();
    step();
}

void FindWidget::search()
{
    m_results.clear();
    m_index = 0;
    m_backwards = false;
    if (m_database)
        m_results = PasswordSearchResults::find(*m_database, ui->findLineEdit->text(), findFlags(),
                                                includesBackupGroup());
}

void FindWidget::refresh()
{
    const int index = m_index;
    const bool backwards = m_backwards;
    search();
    if (m_results.isEmpty())
        return;
    m_index = qMin(index, m_results.size() - 1);
    m_backwards = backwards;
}

void FindWidget::dropStaleResults()
{
    if (m_results.isEmpty())
        return;
    QSet<const PasswordDatabase::Password*> existing;
    if (m_database && m_database->isOpen() && !m_database->isLocked()) {
        for (const PasswordDatabase::Item* item : m_database->getAllItems()) {
            if (item->isPassword())
                existing.insert(static_cast<const PasswordDatabase::Password*>(item));
        }
    }
    for (PasswordDatabase::Password* password : qAsConst(m_results)) {
        if (!existing.contains(password)) {
            refresh();
            return;
        }
    }
}

void FindWidget::findNext()
{
    dropStaleResults();
    step();
}

void FindWidget::step()
{
    if (m_results.isEmpty())
        return;
    if (m_backwards)
        m_index = (m_index + 1) % m_results.size();
    const PasswordDatabase::Password* password = m_results.at(m_index);
    m_index = (m_index + 1) % m_results.size();
    m_backwards = false;
    emit selectPassword(password);
}

void FindWidget::findPrevious()
{
    dropStaleResults();
    if (m_results.isEmpty())
        return;
    // After a Next the index is already one past the password shown, so
    // the one before it lies two back; after a Previous it is one back.
    // Wrap around the end rather than jump to the last match, or a Previous
    // right after the walk wrapped to the head would show the same password
    // again.
    const int count = m_results.size();
    m_index = ((m_backwards ? m_index - 1 : m_index - 2) % count + count) % count;
    m_backwards = true;
    emit selectPassword(m_results.at(m_index));
}
