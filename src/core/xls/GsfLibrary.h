#pragma once

#include <QString>
#include <QStringList>

namespace Xls {

// Initialises libgsf once per process, whichever thread gets there first.
void ensureGsfInitialized();

// Collects what libgsf and GLib report (warnings, criticals, messages) on this thread while it lives,
// instead of letting it reach standard error, so a reader can name the damage in its own error text.
// Messages of other threads, or outside any capture, go where they went before (libgsf's own are
// dropped: the reader reports damage itself).
class GsfMessageCapture {
public:
    GsfMessageCapture();
    ~GsfMessageCapture();
    GsfMessageCapture(const GsfMessageCapture &) = delete;
    GsfMessageCapture &operator=(const GsfMessageCapture &) = delete;

    // Called by the log handler for each message of this thread.
    void add(const char *message);

    // The messages so far, joined with "; " (empty when there were none).
    QString text() const;
    // " (messages)", or nothing when there were none: to append to an error text.
    QString inParentheses() const;

private:
    QStringList m_messages;
    GsfMessageCapture *m_outer = nullptr;
};

} // namespace Xls
