#include "pipeline/NativePath.h"

#include <QUtf8StringView>

#include <fcntl.h>
#include <unistd.h>

namespace keelwick {

namespace {

constexpr char16_t kStrayByteBase = 0xDC00;

bool isStrayByteEscape(QChar character) {
    return character.unicode() >= 0xDC80 && character.unicode() <= 0xDCFF;
}

/// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none.
qsizetype validSequenceLength(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[at + i]); };
    const auto isContinuation = [&](qsizetype i) {
        return at + i < bytes.size() && (byte(i) & 0xC0) == 0x80;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char secondMin = 0x80, secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondMin = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        secondMax = lead == 0xED ? 0x9F : 0xBF;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondMin = lead == 0xF0 ? 0x90 : 0x80;
        secondMax = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (at + 1 >= bytes.size() || byte(1) < secondMin || byte(1) > secondMax) {
        return 0;
    }
    for (qsizetype i = 2; i < length; ++i) {
        if (!isContinuation(i)) {
            return 0;
        }
    }
    return length;
}

}  // namespace

QString pathFromNativeBytes(QByteArrayView bytes) {
    if (QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8()) {
        return QString::fromUtf8(bytes);
    }
    QString path;
    path.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype length = validSequenceLength(bytes, at);
        if (length == 0) {
            path.append(QChar(kStrayByteBase + static_cast<unsigned char>(bytes[at])));
            ++at;
        } else {
            path.append(QString::fromUtf8(bytes.sliced(at, length)));
            at += length;
        }
    }
    return path;
}

bool keepsStrayBytes(const QString& path) {
    return std::any_of(path.begin(), path.end(), isStrayByteEscape);
}

QByteArray nativeBytes(const QString& path) {
    if (!keepsStrayBytes(path)) {
        return path.toUtf8();
    }
    QByteArray bytes;
    bytes.reserve(path.size() * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || isStrayByteEscape(path[i])) {
            bytes.append(QStringView(path).sliced(runStart, i - runStart).toUtf8());
            if (i < path.size()) {
                bytes.append(static_cast<char>(path[i].unicode() - kStrayByteBase));
            }
            runStart = i + 1;
        }
    }
    return bytes;
}

QString readablePath(const QString& path) {
    if (!keepsStrayBytes(path)) {
        return path;
    }
    QString readable = path;
    for (QChar& character : readable) {
        if (isStrayByteEscape(character)) {
            character = QChar(character.unicode() - kStrayByteBase);
        }
    }
    return readable;
}

ReachablePath::ReachablePath(const QString& path) : path_(path) {
    if (!keepsStrayBytes(path)) {
        return;
    }
    // O_PATH would suffice for reaching the file, but unzip reopens the link, which works for
    // both; O_NONBLOCK keeps a FIFO from stalling the open.
    descriptor_ =
        ::open(nativeBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor_ >= 0) {
        path_ = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(descriptor_);
    }
}

ReachablePath::~ReachablePath() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

}  // namespace keelwick
