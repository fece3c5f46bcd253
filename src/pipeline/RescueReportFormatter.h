#pragma once

#include "pipeline/RescueRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick::RescueReportFormatter {

/// One report entry per result, in order: a failure with its message and diagnostics, a
/// success with where its output went.
QList<RescueReportEntry> entries(const QList<RescueResult>& results);

/// The full text of report.txt: the heading, the environment lines, the destination when
/// there is one, the counts, the folders that could not be read when there were any, and
/// every entry's block, ended by one line feed.
QString plainText(const QList<RescueResult>& results, const std::optional<QString>& destination,
                  const QStringList& unreadableFolders = {});

}  // namespace keelwick::RescueReportFormatter
