#pragma once

// Drives the real window as a screen reader does: reads the names of what is shown through
// the accessibility tree and presses controls through their actions.

#include "ui/DesktopWindow.h"

#include <QAccessible>
#include <QSettings>
#include <QTest>

#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include <memory>

namespace keelwick::testing {

/// Every accessible element that is shown, depth first.
inline void collect(QAccessibleInterface* element, QList<QAccessibleInterface*>& found) {
    for (int index = 0; index < element->childCount(); ++index) {
        QAccessibleInterface* child = element->child(index);
        if (child && !child->state().invisible) {
            found.append(child);
            collect(child, found);
        }
    }
}

/// Holds the fake work of the drawings (analysis, rescue) until the test lets it go on.
class Gate {
  public:
    /// Holds the next jobs; `wasReached` then tells when one of them arrived.
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
        arrivals_ = 0;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex_);
        ++arrivals_;
        changed_.wait(lock, [this] { return !held_; });
    }
    /// Whether a drawing's rescue has reached the gate.
    bool wasReached() {
        std::lock_guard lock(mutex_);
        return arrivals_ > 0;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int arrivals_ = 0;
};

/// A test of the window: `window` is the window under test once a test made it. Every test
/// starts with no stored settings but the history timeline seen: most are not the first
/// launch, and the ones about it clear the flag.
class WindowDriverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { DesktopWindow::setUpApplication(); }

    void SetUp() override {
        QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).clear();
        setSetting(WindowState::hasSeenLaunchTimelineKey, true);
    }

    void TearDown() override {
        gate.release();
        window.reset();  // before the gate and the folders its work may still use
    }

    static void setSetting(const QString& key, const QVariant& value) {
        QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick")).setValue(key, value);
    }

    QList<QAccessibleInterface*> shown() const {
        QList<QAccessibleInterface*> found;
        collect(QAccessible::queryAccessibleInterface(window->window()), found);
        return found;
    }

    /// The names a screen reader reads out, in the order it finds them.
    QStringList readable() const {
        QStringList names;
        for (QAccessibleInterface* element : shown()) {
            names.append(element->text(QAccessible::Name));
        }
        return names;
    }

    QAccessibleInterface* find(const QString& name) const {
        for (QAccessibleInterface* element : shown()) {
            if (element->text(QAccessible::Name) == name) {
                return element;
            }
        }
        return nullptr;
    }

    /// Whether the control takes input (Qt 6.4 does not yet tell screen readers which
    /// controls are disabled, so this asks the control itself).
    bool isEnabled(const QString& name) const {
        QAccessibleInterface* element = find(name);
        return element && element->object()->property("enabled").toBool();
    }

    /// Presses a control as a screen reader does.
    void press(const QString& name) {
        QAccessibleInterface* element = find(name);
        ASSERT_NE(element, nullptr)
            << qPrintable(name) << " not in " << qPrintable(readable().join(" | "));
        ASSERT_NE(element->actionInterface(), nullptr) << qPrintable(name);
        element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }

    /// Presses the last control of that name: the one of the dialog on top.
    void pressLast(const QString& name) {
        QAccessibleInterface* element = nullptr;
        for (QAccessibleInterface* candidate : shown()) {
            if (candidate->text(QAccessible::Name) == name) {
                element = candidate;
            }
        }
        ASSERT_NE(element, nullptr) << qPrintable(name);
        element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }

    bool waitFor(const QString& name) {
        return QTest::qWaitFor([&] { return find(name) != nullptr; }, 5000);
    }

    /// With KEELWICK_SCREENSHOTS set to a folder, the window in this state is saved there.
    void screenshot(const QString& state) const {
        const QString folder = qEnvironmentVariable("KEELWICK_SCREENSHOTS");
        if (!folder.isEmpty()) {
            QTest::qWait(100);
            window->window()->grabWindow().save(folder + QLatin1Char('/') + state + ".png");
        }
    }

    Gate gate;
    std::unique_ptr<DesktopWindow> window;
};

}  // namespace keelwick::testing
