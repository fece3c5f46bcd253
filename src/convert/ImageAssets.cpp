#include "convert/internal/ImageAssets.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>

namespace keelwick {

namespace {

// A container (ICNS, multi-page TIFF) is searched for its largest image at most this far, so
// a forged image count cannot keep the decoder busy.
constexpr int kMaxContainerImages = 64;

bool isSinglePathComponent(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(u'\0'));
}

// A regular file, not reached through a symbolic link.
bool isRegularFile(const QString& path) {
    const QFileInfo info(path);
    return !info.isSymLink() && info.isFile();
}

bool isRealFolder(const QString& path) {
    const QFileInfo info(path);
    return !info.isSymLink() && info.isDir();
}

std::optional<QString> entryWithSkeleton(const QString& imagesFolder, const QString& key) {
    // Unsorted: the order of the file system, as the platform listing gives it. Only regular
    // files count; links and special files are as good as missing.
    QDirIterator entries(imagesFolder, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (asciiSkeleton(entries.fileName()) == key && isRegularFile(path)) {
            return path;
        }
    }
    return std::nullopt;
}

// Whether the reader may decode its current image. Dimensions the file declares beyond the
// decode limit are refused before any pixel memory is taken. Qt's own allocation limit (a
// process-wide setting left at its default of the same size) guards the formats that do not
// declare their size up front.
bool fitsDecodeLimit(QImageReader& reader) {
    const QSize declared = reader.size();
    if (!declared.isValid()) {
        return true;
    }
    const qint64 bytesPerPixel = 4;
    const qint64 limit = qint64{kImageDecodeAllocationLimitMB} * 1024 * 1024;
    return qint64{declared.width()} * declared.height() * bytesPerPixel <= limit;
}

QImage readWithinLimit(QImageReader& reader) {
    return fitsDecodeLimit(reader) ? reader.read() : QImage();
}

std::optional<QByteArray> encodedPNG(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly)) {
        return std::nullopt;
    }
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        return std::nullopt;
    }
    buffer.close();
    return png;
}

// The first image of the bytes, as a single-bitmap decoder reads it.
QImage firstImage(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readWithinLimit(reader);
}

// The general route for containers whose first image does not decode: every image the
// reader can jump to, keeping the one with the most pixels.
QImage largestImage(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const int count = std::min(reader.imageCount(), kMaxContainerImages);
    QImage largest;
    for (int index = 0; index < count; ++index) {
        if (!reader.jumpToImage(index)) {
            break;
        }
        const QImage image = readWithinLimit(reader);
        const auto area = [](const QImage& candidate) {
            return qint64{candidate.width()} * candidate.height();
        };
        if (!image.isNull() && (largest.isNull() || area(image) > area(largest))) {
            largest = image;
        }
    }
    return largest;
}

}  // namespace

std::optional<QString> imageAssetURL(const QString& name, const QString& extractedRoot) {
    if (extractedRoot.isEmpty()) {
        return std::nullopt;  // no unpacking folder: never fall back to the working directory
    }
    const QString imagesFolder = extractedRoot + QStringLiteral("/Images");
    if (!isRealFolder(imagesFolder)) {
        return std::nullopt;
    }
    // A name that is not one path component ("../secret.png", "/etc/passwd") has no exact
    // file; it can still match a file of the folder by its skeleton.
    if (isSinglePathComponent(name)) {
        const QString candidate = imagesFolder + u'/' + name;
        if (isRegularFile(candidate)) {
            return candidate;
        }
    }
    const QString key = asciiSkeleton(name);
    if (key.isEmpty()) {
        return std::nullopt;
    }
    return entryWithSkeleton(imagesFolder, key);
}

std::optional<QByteArray> readImageAsset(const QString& path, std::int64_t maxBytes) {
    // O_NOFOLLOW refuses a link put in place after the lookup; O_NONBLOCK keeps a FIFO from
    // blocking the open, and the fstat test then turns it away.
    const QByteArray nativePath = QFile::encodeName(path);
    const int descriptor =
        ::open(nativePath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > maxBytes) {
        return std::nullopt;
    }
    // The size of the fstat bounds the read, so a file that grows meanwhile cannot pass the cap.
    QByteArray bytes = file.read(status.st_size);
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

QString asciiSkeleton(QStringView text) {
    QString skeleton;
    const QList<uint> scalars = text.toString().toLower().toUcs4();
    for (const uint scalar : scalars) {
        const bool isASCIIAlphanumeric = (scalar >= 'a' && scalar <= 'z') ||
                                         (scalar >= 'A' && scalar <= 'Z') ||
                                         (scalar >= '0' && scalar <= '9');
        if (scalar == '.' || isASCIIAlphanumeric) {
            skeleton += QChar(static_cast<char16_t>(scalar));
        }
    }
    return skeleton;
}

QString mimeType(const QString& fileName) {
    const QString lowered = fileName.toLower();
    const auto endsWithAny = [&lowered](std::initializer_list<const char*> endings) {
        for (const char* ending : endings) {
            if (lowered.endsWith(QLatin1StringView(ending))) {
                return true;
            }
        }
        return false;
    };
    if (endsWithAny({".png"})) {
        return QStringLiteral("image/png");
    }
    if (endsWithAny({".jpg", ".jpeg"})) {
        return QStringLiteral("image/jpeg");
    }
    if (endsWithAny({".tif", ".tiff"})) {
        return QStringLiteral("image/tiff");
    }
    if (endsWithAny({".gif"})) {
        return QStringLiteral("image/gif");
    }
    if (endsWithAny({".icns"})) {
        return QStringLiteral("image/icns");
    }
    return QStringLiteral("application/octet-stream");
}

namespace {

bool isDisplayable(const QString& type) {
    return type == QLatin1StringView("image/png") || type == QLatin1StringView("image/jpeg") ||
           type == QLatin1StringView("image/gif");
}

}  // namespace

DisplayableImage displayableImage(const QByteArray& data, const QString& name) {
    // Typed by the name in the drawing, also when the lookup found a file named otherwise.
    const QString type = mimeType(name);
    if (isDisplayable(type)) {
        return {data, type, std::nullopt};
    }
    if (std::optional<QByteArray> png = pngData(data)) {
        const QString pngType = QStringLiteral("image/png");
        return {*png, pngType, displayableImageNote(name, pngType)};
    }
    return {data, type, displayableImageNote(name, type)};
}

std::optional<QString> displayableImageNote(const QString& name, const QString& embeddedType) {
    const QString type = mimeType(name);
    if (isDisplayable(type)) {
        return std::nullopt;
    }
    if (embeddedType == QLatin1StringView("image/png")) {
        return QStringLiteral("Embedded image ") + name + QStringLiteral(" was re-encoded from ") +
               type + QStringLiteral(" to PNG so SVG viewers can display it.");
    }
    return QStringLiteral("Embedded image ") + name + QStringLiteral(" is ") + type +
           QStringLiteral(
               ", which most SVG viewers cannot display, and it could not be "
               "re-encoded as PNG.");
}

std::optional<QByteArray> pngData(const QByteArray& bytes) {
    // The platform's multi-image route went through a TIFF rendition of the whole image;
    // with Qt the chosen image is encoded directly, which gives the same pixels.
    const QImage first = firstImage(bytes);
    if (!first.isNull()) {
        return encodedPNG(first);
    }
    const QImage largest = largestImage(bytes);
    if (largest.isNull()) {
        return std::nullopt;
    }
    return encodedPNG(largest);
}

}  // namespace keelwick
