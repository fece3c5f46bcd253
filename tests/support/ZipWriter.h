#pragma once

// Writes zip archives byte by byte, so tests can give entries any name, mode or claimed size
// an attacker could choose.

#include <QByteArray>
#include <QtEndian>

#include <optional>
#include <vector>

namespace keelwick::testing {

inline constexpr quint32 kFileMode = 0100644;
inline constexpr quint32 kFolderMode = 040755;
inline constexpr quint32 kLinkMode = 0120777;
inline constexpr quint16 kUnixHost = 3;

struct ZipEntry {
    QByteArray name;
    QByteArray data;
    quint32 mode = kFileMode;
    /// The uncompressed size the archive claims; the data's size when absent.
    std::optional<quint32> claimedSize;
};

inline ZipEntry fileEntry(const QByteArray& name, const QByteArray& data) {
    return {name, data, kFileMode, std::nullopt};
}
inline ZipEntry folderEntry(const QByteArray& name, quint32 mode = kFolderMode) {
    return {name, {}, mode, std::nullopt};
}
inline ZipEntry linkEntry(const QByteArray& name, const QByteArray& target) {
    return {name, target, kLinkMode, std::nullopt};
}

inline quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : data) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
    }
    return ~crc;
}

template <typename T>
inline void put(QByteArray& bytes, T value) {
    char little[sizeof(T)];
    qToLittleEndian(value, little);
    bytes.append(little, sizeof(T));
}

// A zip archive of stored entries made on a Unix host, with 1980-01-01 as every date.
inline QByteArray zipBytes(const std::vector<ZipEntry>& entries) {
    QByteArray archive;
    QByteArray directory;
    for (const ZipEntry& entry : entries) {
        const quint32 offset = static_cast<quint32>(archive.size());
        const quint32 crc = crc32(entry.data);
        const auto size = static_cast<quint32>(entry.data.size());
        const quint32 claimed = entry.claimedSize.value_or(size);
        const auto nameLength = static_cast<quint16>(entry.name.size());
        put<quint32>(archive, 0x04034b50);
        for (quint16 field : {10, 0, 0, 0, 0x21}) {  // version, flags, method, time, date
            put<quint16>(archive, field);
        }
        put<quint32>(archive, crc);
        put<quint32>(archive, size);
        put<quint32>(archive, claimed);
        put<quint16>(archive, nameLength);
        put<quint16>(archive, 0);
        archive += entry.name + entry.data;

        put<quint32>(directory, 0x02014b50);
        put<quint16>(directory, (kUnixHost << 8) | 20);
        for (quint16 field : {10, 0, 0, 0, 0x21}) {
            put<quint16>(directory, field);
        }
        put<quint32>(directory, crc);
        put<quint32>(directory, size);
        put<quint32>(directory, claimed);
        put<quint16>(directory, nameLength);
        for (quint16 field : {0, 0, 0, 0}) {  // extra, comment, disk, internal attributes
            put<quint16>(directory, field);
        }
        put<quint32>(directory, entry.mode << 16);
        put<quint32>(directory, offset);
        directory += entry.name;
    }
    const auto count = static_cast<quint16>(entries.size());
    const auto directoryOffset = static_cast<quint32>(archive.size());
    archive += directory;
    put<quint32>(archive, 0x06054b50);
    for (quint16 field : {0, 0}) {
        put<quint16>(archive, field);
    }
    put<quint16>(archive, count);
    put<quint16>(archive, count);
    put<quint32>(archive, static_cast<quint32>(directory.size()));
    put<quint32>(archive, directoryOffset);
    put<quint16>(archive, 0);
    return archive;
}

}  // namespace keelwick::testing
