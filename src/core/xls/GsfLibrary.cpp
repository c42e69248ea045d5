#include "core/xls/GsfLibrary.h"

#include <gsf/gsf-utils.h>

#include <initializer_list>

namespace Xls {

namespace {

void discardMessage(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

} // namespace

void ensureGsfInitialized() {
    static const bool initialized = [] {
        gsf_init();
        // libgsf comments on every damaged compound file on standard error; the reader reports
        // the damage itself, once, in its error text.
        const GLogLevelFlags chatter =
            GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                           G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char *domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain, chatter, discardMessage, nullptr);
        return true;
    }();
    (void)initialized;
}

} // namespace Xls
