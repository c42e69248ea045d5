// The settings profile reader: any bytes are a profile; a value set in it reads back as set.
#include "FuzzSupport.h"
#include "core/config/ProfileFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    ProfileFile profile(bytes);
    FUZZ_CHECK(profile.toBytes() == bytes);
    for (const char *section : {"Settings", "settings", "Path", ""}) {
        for (const char *key : {"IP", "Port", "RecordPath", ""}) {
            (void)profile.value(QString::fromLatin1(section), QString::fromLatin1(key));
        }
    }
    // The value is the input's last bytes, as far as a line can hold them.
    QByteArray value = bytes.right(24);
    value.replace('\r', ' ').replace('\n', ' ').replace('\0', ' ');
    FUZZ_CHECK(ProfileFile::canHoldValue(value));
    profile.setValue(QStringLiteral("Settings"), QStringLiteral("RecordPath"), value);
    const ProfileFile again(profile.toBytes());
    FUZZ_CHECK(again.value(QStringLiteral("Settings"), QStringLiteral("RecordPath")) == value);
    return 0;
}
