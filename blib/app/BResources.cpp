#include "blib/app/BResources.h"

#include "blib/app/BLanguage.h"

#include <QFile>
#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initLockharbourResources()
{
    Q_INIT_RESOURCE(lockharbour);
}

namespace {

struct IconRow {
    int id;
    const char* file;
};

// Themed icons by resource id; 217 and 232 are not assigned.
constexpr IconRow iconTable[] = {
    { 200, "icon_091.png" }, { 201, "icon_106.png" }, { 202, "icon_291.png" },
    { 203, "icon_217.png" }, { 204, "icon_073.png" }, { 205, "icon_228.png" },
    { 206, "icon_104.png" }, { 207, "icon_279.png" }, { 208, "icon_225.png" },
    { 209, "icon_020.png" }, { 210, "icon_270.png" }, { 211, "icon_110.png" },
    { 212, "icon_107.png" }, { 213, "icon_108.png" }, { 214, "icon_206.png" },
    { 215, "icon_207.png" }, { 216, "icon_208.png" }, { 218, "icon_241.png" },
    { 219, "icon_227.png" }, { 220, "icon_184.png" }, { 221, "icon_257.png" },
    { 222, "icon_183.png" }, { 223, "icon16.png" },   { 224, "icon24.png" },
    { 225, "icon32.png" },   { 226, "icon48.png" },   { 227, "icon64.png" },
    { 228, "icon128.png" },  { 229, "icon256.png" },  { 230, "icon512.png" },
    { 231, "icon1024.png" }, { 233, "icon_311.png" }, { 234, "icon_312.png" },
    { 235, "icon_313.png" }, { 236, "icon_314.png" }, { 237, "icon_315.png" },
    { 238, "icon_316.png" }, { 239, "icon_006.png" }, { 240, "icon_004.png" },
    { 241, "icon_005.png" }, { 242, "icon_001.png" }, { 243, "icon_078.png" },
    { 244, "icon_002.png" }, { 245, "icon_007.png" }, { 246, "icon_003.png" },
    { 247, "icon_008.png" }, { 248, "icon_025.png" }, { 249, "icon_026.png" },
    { 250, "icon_045.png" }, { 251, "icon_181.png" }, { 252, "icon_182.png" },
};

const char* iconFile(int id)
{
    for (const IconRow& row : iconTable)
        if (row.id == id)
            return row.file;
    return nullptr;
}

QString g_iconTheme = QStringLiteral("light");

} // namespace

void initResources()
{
    static std::once_flag once;
    std::call_once(once, initLockharbourResources);
}

void setIconTheme(const QString& theme)
{
    g_iconTheme = theme;
}

QString iconTheme()
{
    return g_iconTheme;
}

QString resourcePath(int id)
{
    initResources();

    if (id >= 200 && id <= 252) {
        const char* file = iconFile(id);
        if (!file)
            return QString();
        const QString name = QString::fromLatin1(file);
        const QString themed = QStringLiteral(":/image/icon/%1/%2").arg(g_iconTheme, name);
        if (QFile::exists(themed))
            return themed;
        const QString plain = QStringLiteral(":/image/icon/%1").arg(name);
        if (QFile::exists(plain))
            return plain;
        return QString();
    }

    const QString code = languageCode();
    switch (id) {
    case 150:
        return QStringLiteral(":/doc/%1/changelog.txt").arg(code);
    case 151:
        return QStringLiteral(":/doc/%1/eula.txt").arg(code);
    case 152:
        return QStringLiteral(":/doc/%1/zxcvbn_licence.txt").arg(code);
    case 153:
        return QStringLiteral(":/doc/%1/qt_licence.txt").arg(code);
    default:
        return QString();
    }
}

QIcon resourceIcon(int id)
{
    const QString path = resourcePath(id);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QString resourceText(int id)
{
    const QString path = resourcePath(id);
    if (path.isEmpty())
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}
