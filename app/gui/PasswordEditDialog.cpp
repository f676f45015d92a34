#include "app/gui/PasswordEditDialog.h"

#include "ui_PasswordEditDialog.h"

#include "app/gui/EntryIcon.h"
#include "app/gui/SecretText.h"
#include "blib/app/BCalendarDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPasswordGeneratorDialog.h"

#include <QFileInfo>
#include <QMenu>

namespace {

const QString ShowPasswordKey = QStringLiteral("app.passwordEditDialog.showPassword");
const QString ImportDirKey = QStringLiteral("app.passwordEditDialog.attachmentImportDir");
const QString ExportDirKey = QStringLiteral("app.passwordEditDialog.attachmentExportDir");

// Resource ids of the button icons.
constexpr int openUrlIcon = 210;          // icon_270
constexpr int showPasswordIcon = 208;     // icon_225
constexpr int generatePasswordIcon = 209; // icon_020
constexpr int expireTimeIcon = 211;       // icon_110
constexpr int attachmentImportIcon = 220; // icon_184
constexpr int attachmentExportIcon = 221; // icon_257
constexpr int attachmentClearIcon = 205;  // icon_228

} // namespace

PasswordEditDialog::PasswordEditDialog(QWidget* parent, bool newPassword)
    : QDialog(parent)
    , ui(new Ui::PasswordEditDialog)
    , m_newPassword(newPassword)
{
    initResources();
    ui->setupUi(this);

    ui->openURLButton->setIcon(resourceIcon(openUrlIcon));
    ui->showPasswordButton->setIcon(resourceIcon(showPasswordIcon));
    ui->generatePasswordButton->setIcon(resourceIcon(generatePasswordIcon));
    ui->expireTimeButton->setIcon(resourceIcon(expireTimeIcon));
    ui->attachmentImportButton->setIcon(resourceIcon(attachmentImportIcon));
    ui->attachmentExportButton->setIcon(resourceIcon(attachmentExportIcon));
    ui->attachmentClearButton->setIcon(resourceIcon(attachmentClearIcon));

    ui->showPasswordButton->setToolTip(tr("Show the password"));
    ui->generatePasswordButton->setToolTip(tr("Generate a random password"));
    ui->openURLButton->setToolTip(tr("Open URL in web browser"));
    ui->attachmentImportButton->setToolTip(tr("Attach a file (will be encrypted)"));
    ui->attachmentExportButton->setToolTip(tr("Export the attached file"));
    ui->attachmentClearButton->setToolTip(tr("Remove the attached file"));

    connect(ui->nameEdit, &QLineEdit::textChanged, this, &PasswordEditDialog::nameEditChanged);
    connect(ui->openURLButton, &QAbstractButton::clicked, this, &PasswordEditDialog::openURLButtonPressed);
    connect(ui->passwordEdit, &QLineEdit::textChanged, this, &PasswordEditDialog::passwordEditChanged);
    connect(ui->showPasswordButton, &QAbstractButton::toggled, this,
            &PasswordEditDialog::showPasswordButtonChanged);
    connect(ui->generatePasswordButton, &QAbstractButton::clicked, this,
            &PasswordEditDialog::generatePasswordButtonPressed);
    connect(ui->expireTimeButton, &QAbstractButton::clicked, this, &PasswordEditDialog::expireTimePDLPressed);
    connect(ui->neverExpireCheckBox, &QAbstractButton::toggled, this,
            &PasswordEditDialog::neverExpireCheckboxChanged);
    connect(ui->attachmentImportButton, &QAbstractButton::clicked, this,
            &PasswordEditDialog::attachmentImportButtonPressed);
    connect(ui->attachmentExportButton, &QAbstractButton::clicked, this,
            &PasswordEditDialog::attachmentExportButtonPressed);
    connect(ui->attachmentClearButton, &QAbstractButton::clicked, this,
            &PasswordEditDialog::attachmentClearButtonPressed);

    nameEditChanged(QString());

    // The toggled() signal does not fire when the state stays unchecked, so
    // the echo mode and the stored setting are applied here either way.
    const bool show = boolSetting(ShowPasswordKey, false);
    {
        const QSignalBlocker blocker(ui->showPasswordButton);
        ui->showPasswordButton->setChecked(show);
    }
    showPasswordButtonChanged(show);

    auto* menu = new QMenu(ui->expireTimeButton);
    menu->addAction(tr("Today"), this, &PasswordEditDialog::expireToday);
    menu->addSeparator();
    menu->addAction(tr("1 Week"), this, &PasswordEditDialog::expire1Week);
    menu->addAction(tr("2 Weeks"), this, &PasswordEditDialog::expire2Weeks);
    menu->addAction(tr("3 Weeks"), this, &PasswordEditDialog::expire3Weeks);
    menu->addSeparator();
    menu->addAction(tr("1 Month"), this, &PasswordEditDialog::expire1Month);
    menu->addAction(tr("3 Months"), this, &PasswordEditDialog::expire3Months);
    menu->addAction(tr("6 Months"), this, &PasswordEditDialog::expire6Months);
    menu->addSeparator();
    menu->addAction(tr("1 Year"), this, &PasswordEditDialog::expire1Year);
    ui->expireTimeButton->setMenu(menu);

    ui->passwordStrengthWidget->setPassword(QString());
    showExpireTime();
    refreshAttachment();

    if (m_newPassword)
        ui->nameEdit->setFocus();
    fixDialogHeight(this);
    centreOnParent(this);
}

PasswordEditDialog::~PasswordEditDialog()
{
    // The fields' text is shared with nothing else once taken, so wiping the
    // taken copy wipes what the fields held.
    {
        const QSignalBlocker blocker(ui->passwordEdit);
        for (QLineEdit* edit : { ui->passwordEdit, ui->repeatPasswordEdit, ui->usernameEdit }) {
            QString secret = takeSecretText(edit);
            wipe(secret);
        }
    }
    ui->noteEdit->setPlainText(QString());
    delete ui;
}

void PasswordEditDialog::loadPassword(const PasswordDatabase::Password& password)
{
    m_password = password;
    // Assignment keeps the target's flags and gui state; the working copy
    // must equal the loaded password until something is edited.
    m_password.setFlags(password.getFlags());
    m_password.setGuiState(password.getGuiState());

    ui->iconPickerWidget->setCurrentIconId(password.getIconId());
    m_shownIconId = ui->iconPickerWidget->currentIconId();
    {
        // The name rule runs once below, whether or not the text changes.
        const QSignalBlocker blocker(ui->nameEdit);
        ui->nameEdit->setText(password.getName());
    }
    ui->usernameEdit->setText(password.getUsername());
    ui->emailAddressEdit->setText(password.getEmailAddress());
    ui->phoneNumberEdit->setText(password.getPhoneNumber());
    ui->URLEdit->setText(password.getUrl());
    ui->noteEdit->setPlainText(password.getNote());
    ui->passwordEdit->setText(password.getPassword());
    ui->repeatPasswordEdit->setText(password.getPassword());
    nameEditChanged(password.getName());

    showExpireTime();
    {
        // The flag is already in the working copy; only the widgets follow.
        const QSignalBlocker blocker(ui->neverExpireCheckBox);
        ui->neverExpireCheckBox->setChecked(password.isNeverExpire());
    }
    ui->expireTimeEdit->setEnabled(!password.isNeverExpire());
    ui->expireTimeButton->setEnabled(!password.isNeverExpire());

    refreshAttachment();
}

QJsonObject PasswordEditDialog::editState() const
{
    const PasswordDatabase::Password::Attachment& attachment = m_password.getAttachment();
    return QJsonObject {
        { QStringLiteral("name"), ui->nameEdit->text() },
        { QStringLiteral("iconId"), ui->iconPickerWidget->currentIconId() },
        { QStringLiteral("username"), ui->usernameEdit->text() },
        { QStringLiteral("emailAddress"), ui->emailAddressEdit->text() },
        { QStringLiteral("phoneNumber"), ui->phoneNumberEdit->text() },
        { QStringLiteral("password"), ui->passwordEdit->text() },
        { QStringLiteral("repeatPassword"), ui->repeatPasswordEdit->text() },
        { QStringLiteral("url"), ui->URLEdit->text() },
        // Only an edited note is taken back on OK (see accept()).
        { QStringLiteral("noteModified"), ui->noteEdit->document()->isModified() },
        { QStringLiteral("note"), ui->noteEdit->document()->isModified() ? ui->noteEdit->toPlainText() : QString() },
        { QStringLiteral("expireTime"), ui->expireTimeEdit->dateTime().toUTC().toString(Qt::ISODateWithMs) },
        { QStringLiteral("neverExpire"), ui->neverExpireCheckBox->isChecked() },
        { QStringLiteral("attachmentFileName"), attachment.getFileName() },
        { QStringLiteral("attachmentData"), attachment.getData() },
        { QStringLiteral("attachmentDataHash"), attachment.getDataHash() },
    };
}

void PasswordEditDialog::restoreEditState(const QJsonObject& state)
{
    auto text = [&state](const char* key) { return state.value(QLatin1String(key)).toString(); };
    // The name first: in new mode it chooses an icon, which the saved choice
    // then replaces.
    ui->nameEdit->setText(text("name"));
    ui->iconPickerWidget->setCurrentIconId(text("iconId"));
    ui->usernameEdit->setText(text("username"));
    ui->emailAddressEdit->setText(text("emailAddress"));
    ui->phoneNumberEdit->setText(text("phoneNumber"));
    ui->passwordEdit->setText(text("password"));
    ui->repeatPasswordEdit->setText(text("repeatPassword"));
    ui->URLEdit->setText(text("url"));
    if (state.value(QLatin1String("noteModified")).toBool()) {
        ui->noteEdit->setPlainText(text("note"));
        ui->noteEdit->document()->setModified(true);
    }
    const QDateTime expires = QDateTime::fromString(text("expireTime"), Qt::ISODateWithMs);
    if (expires.isValid())
        ui->expireTimeEdit->setDateTime(expires.toLocalTime());
    ui->neverExpireCheckBox->setChecked(state.value(QLatin1String("neverExpire")).toBool());
    neverExpireCheckboxChanged(ui->neverExpireCheckBox->isChecked());

    PasswordDatabase::Password::Attachment attachment;
    attachment.setFileName(text("attachmentFileName"));
    attachment.setData(text("attachmentData"));
    attachment.setDataHash(text("attachmentDataHash"));
    m_password.setAttachment(attachment);
    refreshAttachment();
}

void PasswordEditDialog::openURLButtonPressed()
{
    // The address beside the button, as the user sees it now: edits reach
    // the working copy only on OK.
    const QString address = ui->URLEdit->text().trimmed();
    if (address.isEmpty())
        return;
    openUrl(address);
}

void PasswordEditDialog::nameEditChanged(const QString& text)
{
    // Renaming an existing password never changes its icon.
    if (m_newPassword) {
        EntryIcon icon = guessEntryIcon(text);
        if (icon.isNull())
            icon = defaultKeyIcon();
        ui->iconPickerWidget->setCurrentIconId(icon.id);
    }

    if (!text.isEmpty())
        setWindowTitle(text);
    else
        setWindowTitle(m_newPassword ? tr("New Password") : tr("Unnamed Password"));
}

void PasswordEditDialog::passwordEditChanged(const QString& text)
{
    ui->passwordStrengthWidget->setPasswordSoon(text);
}

void PasswordEditDialog::showPasswordButtonChanged(bool checked)
{
    // Plain password echo, not echo-on-edit: that shows what is typed to
    // anyone looking, and clears the whole field at the first key typed.
    const QLineEdit::EchoMode mode = checked ? QLineEdit::Normal : QLineEdit::Password;
    ui->passwordEdit->setEchoMode(mode);
    ui->repeatPasswordEdit->setEchoMode(mode);
    setBoolSetting(ShowPasswordKey, checked);
}

void PasswordEditDialog::generatePasswordButtonPressed()
{
    fillFromPasswordGenerator(this, ui->passwordEdit, ui->repeatPasswordEdit);
}

void PasswordEditDialog::expireTimePDLPressed()
{
    BCalendarDialog calendar(this);
    calendar.setDate(ui->expireTimeEdit->date());
    execDialog(this, &calendar);
    // A calendar closed without a choice still holds the date it was given.
    ui->expireTimeEdit->setDate(calendar.date());
}

void PasswordEditDialog::expireToday()
{
    setExpireTime(currentDateTime().addDays(1));
}

void PasswordEditDialog::expire1Week()
{
    setExpireTime(currentDateTime().addDays(7));
}

void PasswordEditDialog::expire2Weeks()
{
    setExpireTime(currentDateTime().addDays(14));
}

void PasswordEditDialog::expire3Weeks()
{
    setExpireTime(currentDateTime().addDays(21));
}

void PasswordEditDialog::expire1Month()
{
    setExpireTime(currentDateTime().addMonths(1));
}

void PasswordEditDialog::expire3Months()
{
    setExpireTime(currentDateTime().addMonths(3));
}

void PasswordEditDialog::expire6Months()
{
    setExpireTime(currentDateTime().addMonths(6));
}

void PasswordEditDialog::expire1Year()
{
    setExpireTime(currentDateTime().addYears(1));
}

void PasswordEditDialog::neverExpireCheckboxChanged(bool checked)
{
    m_password.setNeverExpire(checked);
    ui->expireTimeEdit->setEnabled(!checked);
    ui->expireTimeButton->setEnabled(!checked);
}

void PasswordEditDialog::attachmentImportButtonPressed()
{
    const QString path = getExistingFileName(this, tr("Select File"), stringSetting(ImportDirKey, QString()));
    if (path.isEmpty())
        return;
    setStringSetting(ImportDirKey, QFileInfo(path).absolutePath());

    // The attachment wipes the file's bytes it read, and its own copy of the
    // data when it goes out of scope.
    PasswordDatabase::Password::Attachment attachment;
    QString reason;
    if (!attachment.loadFromFile(path, &reason)) {
        QString text = tr("Failed to load file. There may be a permission issue.");
        if (!reason.isEmpty())
            text += QStringLiteral("\n\n") + reason;
        showError(this, tr("Load Failed"), text);
        return;
    }
    m_password.setAttachment(attachment);
    refreshAttachment();
}

void PasswordEditDialog::attachmentExportButtonPressed()
{
    // A copy: the file dialog runs a local event loop, and what is exported
    // is the attachment as it was when the button was pressed. The copy
    // wipes its data when it goes out of scope.
    const PasswordDatabase::Password::Attachment attachment = m_password.getAttachment();
    if (!attachment.isValid())
        return;

    const QFileInfo name(attachment.getFileName());
    // Until a file has been exported, exports start where the last import
    // was taken from.
    const QString importDir = stringSetting(ImportDirKey, QString());
    QString dir = stringSetting(ExportDirKey, importDir);
    if (dir.isEmpty())
        dir = importDir;
    const QString path = getSaveFileName(this, tr("Select File"), dir, name.baseName(), name.suffix());
    if (path.isEmpty())
        return;
    setStringSetting(ExportDirKey, QFileInfo(path).absolutePath());

    // saveToFile() wipes the decoded bytes once they are written.
    QString reason;
    if (!attachment.saveToFile(path, &reason)) {
        QString text = tr("Failed to save the file. There may be a permission issue or the file is "
                          "already open by another application.");
        if (!reason.isEmpty())
            text += QStringLiteral("\n\n") + reason;
        showError(this, tr("Save Failed"), text);
    }
}

void PasswordEditDialog::attachmentClearButtonPressed()
{
    m_password.setAttachment(PasswordDatabase::Password::Attachment());
    refreshAttachment();
}

void PasswordEditDialog::accept()
{
    const QString name = ui->nameEdit->text();
    if (name.isEmpty()) {
        showError(this, tr("Name Required"), tr("The password must have a name."));
        ui->nameEdit->setFocus();
        return;
    }
    if (ui->passwordEdit->text() != ui->repeatPasswordEdit->text()) {
        showError(this, tr("Passwords Don't Match"),
                  tr("The passwords don't match. Enter the same password twice."));
        ui->repeatPasswordEdit->selectAll();
        ui->repeatPasswordEdit->setFocus();
        return;
    }

    const QString iconId = ui->iconPickerWidget->currentIconId();
    if (m_newPassword || iconId != m_shownIconId)
        m_password.setIconId(iconId);
    m_password.setName(name);
    m_password.setEmailAddress(ui->emailAddressEdit->text());
    m_password.setPhoneNumber(ui->phoneNumberEdit->text());
    m_password.setUsername(ui->usernameEdit->text());
    m_password.setUrl(ui->URLEdit->text());
    m_password.setPassword(ui->passwordEdit->text());
    // The text document turns line breaks such as "\r\n" into its own, so
    // an untouched note is kept as it was loaded.
    if (ui->noteEdit->document()->isModified())
        m_password.setNote(ui->noteEdit->toPlainText());
    // Stored in UTC whether or not the field can be edited (never-expire
    // disables it). The field keeps seconds and milliseconds, so an
    // untouched time comes back unchanged.
    m_password.setExpireTime(ui->expireTimeEdit->dateTime().toUTC());
    m_password.setNeverExpire(ui->neverExpireCheckBox->isChecked());
    QDialog::accept();
}

QDateTime PasswordEditDialog::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

void PasswordEditDialog::setExpireTime(const QDateTime& time)
{
    m_password.setExpireTime(time);
    showExpireTime();
}

void PasswordEditDialog::showExpireTime()
{
    const QDateTime time = m_password.getExpireTime();
    if (time.isValid())
        ui->expireTimeEdit->setDateTime(time.toLocalTime());
}

void PasswordEditDialog::refreshAttachment()
{
    const PasswordDatabase::Password::Attachment& attachment = m_password.getAttachment();
    ui->attachmentEdit->setText(attachment.isValid() ? attachment.getFileName() : QString());
    ui->attachmentExportButton->setEnabled(attachment.isValid());
    ui->attachmentClearButton->setEnabled(attachment.isValid());
}
