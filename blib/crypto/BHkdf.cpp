#include "blib/crypto/BHkdf.h"

#include "blib/crypto/BHash.h"
#include "blib/crypto/BWipe.h"

QByteArray hkdfExpand(int hashId, const QByteArray& prk, const QByteArray& info, int length)
{
    if (!isValidHashId(hashId) || length < 1)
        return QByteArray();
    QByteArray block;
    QByteArray message;
    QByteArray output;
    output.reserve(length);
    for (int i = 1; output.size() < length; ++i) {
        if (i > 255) {
            wipe(output);
            break;
        }
        message = block;
        message.append(info);
        message.append(char(i));
        wipe(block);
        hmac(hashId, message, prk, block);
        wipe(message);
        if (block.isEmpty()) {
            wipe(output);
            break;
        }
        output.append(block.constData(), qMin(block.size(), length - output.size()));
    }
    wipe(block);
    return output;
}
