#include "app/gui/TotpQrDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/crypto/BWipe.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <qrencode.h>

#include <cstring>

namespace {

constexpr int quietZone = 4;
// Scans well from a phone held at arm's length on common screens.
constexpr int targetSize = 300;

} // namespace

TotpQrDialog::TotpQrDialog(QWidget* parent, const QString& link, const QString& caption)
    : QDialog(parent)
{
    setWindowTitle(tr("TOTP QR Code"));

    auto* warning = new QLabel(tr("<b>This code reveals the secret of the one-time codes.</b> Anyone who sees or "
                                  "photographs it can make the codes as well. Show it only to scan it with your "
                                  "own device, and close this window afterwards."),
                               this);
    warning->setObjectName(QStringLiteral("warningLabel"));
    warning->setWordWrap(true);
    warning->setTextFormat(Qt::RichText);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("qrCodeLabel"));
    picture->setAlignment(Qt::AlignCenter);
    QImage image = qrImage(link, 1);
    if (image.isNull()) {
        picture->setText(tr("The link is too long for a QR code."));
    } else {
        const int moduleSize = qMax(2, targetSize / image.width());
        image = qrImage(link, moduleSize);
        picture->setPixmap(QPixmap::fromImage(image));
        picture->setMinimumSize(image.size());
    }

    auto* name = new QLabel(caption, this);
    name->setObjectName(QStringLiteral("captionLabel"));
    name->setAlignment(Qt::AlignCenter);
    name->setTextFormat(Qt::PlainText);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(picture, 1);
    layout->addWidget(name);
    layout->addWidget(buttons);
    setMinimumWidth(qMax(420, image.width() + 40));
    fixDialogHeight(this);
    centreOnParent(this);
}

QImage TotpQrDialog::qrImage(const QString& text, int moduleSize)
{
    QByteArray bytes = text.toUtf8();
    QRcode* code = QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M);
    wipe(bytes);
    if (!code)
        return QImage();
    const int width = code->width;
    const int side = (width + 2 * quietZone) * moduleSize;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        for (int y = 0; y < width; ++y) {
            for (int x = 0; x < width; ++x) {
                // Bit 0 of each module byte: dark.
                if (code->data[y * width + x] & 1)
                    painter.fillRect((x + quietZone) * moduleSize, (y + quietZone) * moduleSize, moduleSize,
                                     moduleSize, Qt::black);
            }
        }
    }
    // The modules spell the secret out.
    std::memset(code->data, 0, size_t(width) * size_t(width));
    QRcode_free(code);
    return image;
}
