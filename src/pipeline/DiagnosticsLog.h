#pragma once

#include "pipeline/PipelineError.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick {

/// The per-drawing log of labelled facts that report.txt prints under a failed drawing.
///
/// A fact is "label: value" on one line; a value of several lines continues on lines
/// indented by two spaces. Nothing here fails: facts that cannot be obtained are left out
/// or reported in words.
class DiagnosticsLog {
  public:
    /// The log's lines in the order they were added.
    QStringList lines;

    /// Adds one fact; an absent or empty value adds nothing.
    void add(const QString& label, const std::optional<QString>& value);

    /// Adds the fact `label` with the path as given, then "<label> state" with what the file
    /// system says about it: its size (files only), modification time and readability, or
    /// that it cannot be reached.
    void addFileFacts(const QString& label, const QString& path);

    /// Adds everything known about a failure and the stage in which it happened.
    void record(const PipelineError& error, const QString& stage);

    /// The four lines that open a report: when, which application, which system, which
    /// machine.
    static QStringList environmentLines();

    /// The hardware model: the firmware's vendor and product name, or "unknown".
    static QString machineDescription();
    /// The same, read from `dmiFolder` (the kernel's DMI identity folder, which holds
    /// "product_name" and "sys_vendor"); lets tests stand in for the machine.
    static QString machineDescription(const QString& dmiFolder);
};

}  // namespace keelwick
