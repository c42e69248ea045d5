#include "core/xls/GsfLibrary.h"

#include <gsf/gsf-utils.h>

#include <initializer_list>

namespace Xls {

namespace {

// A damaged file may make libgsf repeat itself; a few messages name the damage well enough.
constexpr int kMaxMessages = 4;
constexpr int kMaxMessageChars = 200;

thread_local GsfMessageCapture *t_capture = nullptr;
GLogFunc g_previousDefault = nullptr;
gpointer g_previousDefaultData = nullptr;

bool isGsfDomain(const gchar *domain) {
    return domain && (qstrcmp(domain, "libgsf") == 0 || qstrcmp(domain, "libgsf:msole") == 0);
}

void routeMessage(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer) {
    if (t_capture && !(level & G_LOG_LEVEL_ERROR)) {
        t_capture->add(message);
        return;
    }
    if (isGsfDomain(domain)) {
        return;
    }
    if (g_previousDefault) {
        g_previousDefault(domain, level, message, g_previousDefaultData);
    } else {
        g_log_default_handler(domain, level, message, nullptr);
    }
}

} // namespace

void GsfMessageCapture::add(const char *message) {
    QStringList &messages = m_messages;
    if (messages.size() >= kMaxMessages) {
        return;
    }
    QString text = QString::fromUtf8(message ? message : "").simplified();
    if (text.size() > kMaxMessageChars) {
        text = text.left(kMaxMessageChars) + QStringLiteral("…");
    }
    if (!text.isEmpty() && !messages.contains(text)) {
        messages.append(text);
    }
}

void ensureGsfInitialized() {
    static const bool initialized = [] {
        gsf_init();
        // libgsf warns about damaged compound files partly in its own log domains and partly in none
        // (or GLib's, through failed checks); all of them pass through routeMessage.
        const GLogLevelFlags levels =
            GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                           G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char *domain : {"libgsf", "libgsf:msole"}) {
            g_log_set_handler(domain, levels, routeMessage, nullptr);
        }
        g_previousDefault = g_log_set_default_handler(routeMessage, nullptr);
        if (g_previousDefault == routeMessage) {
            g_previousDefault = nullptr;
        }
        return true;
    }();
    (void)initialized;
}

GsfMessageCapture::GsfMessageCapture() : m_outer(t_capture) {
    ensureGsfInitialized();
    t_capture = this;
}

GsfMessageCapture::~GsfMessageCapture() {
    t_capture = m_outer;
}

QString GsfMessageCapture::text() const {
    return m_messages.join(QStringLiteral("; "));
}

QString GsfMessageCapture::inParentheses() const {
    return m_messages.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(text());
}

} // namespace Xls
