#include "pipeline/AtomicWrite.h"

#include <QSaveFile>

namespace keelwick {

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        return std::nullopt;
    }
    return file.errorString();
}

}  // namespace keelwick
