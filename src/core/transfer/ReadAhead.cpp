#include "core/transfer/ReadAhead.h"

#include "core/transfer/BlockIo.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <openssl/evp.h>

namespace {

// Reads length bytes unless the file ends first; -1 on a read error.
qint64 readFully(QFile &file, char *buffer, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        const qint64 got = file.read(buffer + done, length - done);
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

struct DigestDeleter {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

} // namespace

ReadAhead::ReadAhead(QFile &file, quint64 size, int runBlocks, bool hash)
    : m_file(file), m_size(size), m_runBlocks(runBlocks), m_hash(hash) {
    for (Slot &slot : m_slots) {
        slot.buffer.assign(static_cast<size_t>(runBlocks * kBlockSize), 0);
    }
    m_thread = std::thread([this] { read(); });
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::optional<ReadAhead::Run> ReadAhead::next() {
    std::unique_lock lock(m_lock);
    if (m_given >= 0) {
        m_slots[m_given].filled = false;
        m_given = -1;
        m_changed.notify_all();
    }
    Slot &slot = m_slots[m_nextToSend];
    m_changed.wait(lock, [&] { return slot.filled || m_done; });
    if (!slot.filled) {
        return std::nullopt;
    }
    m_given = m_nextToSend;
    m_nextToSend = (m_nextToSend + 1) % kSlots;
    return slot.run;
}

QString ReadAhead::finishedSha256() {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [&] { return m_done; });
    return m_sha256;
}

void ReadAhead::read() {
    std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest(m_hash ? EVP_MD_CTX_new() : nullptr);
    if (digest && EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        digest.reset();
    }
    // The last whole block read so far, for the padding of a short last block.
    std::vector<char> previous;
    quint64 left = m_size;
    int index = 0;
    int error = 0;
    while (left > 0) {
        Slot &slot = m_slots[index];
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [&] { return !slot.filled || m_stop; });
            if (m_stop) {
                return;
            }
        }
        const qint64 wanted = static_cast<qint64>(qMin<quint64>(left, m_runBlocks * kBlockSize));
        const qint64 got = readFully(m_file, slot.buffer.data(), wanted);
        if (got != wanted) {
            error = got < 0 ? (errno != 0 ? errno : EIO) : -1;
            break;
        }
        if (digest) {
            EVP_DigestUpdate(digest.get(), slot.buffer.data(), static_cast<size_t>(wanted));
        }
        const int blocks = static_cast<int>((wanted + kBlockSize - 1) / kBlockSize);
        const qint64 tail = wanted % kBlockSize;
        if (tail != 0) {
            const char *source = blocks > 1 ? slot.buffer.data() + (blocks - 2) * kBlockSize
                                            : (previous.empty() ? nullptr : previous.data());
            char *padding = slot.buffer.data() + wanted;
            if (source) {
                std::memcpy(padding, source + tail, static_cast<size_t>(kBlockSize - tail));
            } else {
                std::memset(padding, 0, static_cast<size_t>(kBlockSize - tail));
            }
        } else {
            previous.assign(slot.buffer.data() + (blocks - 1) * kBlockSize,
                            slot.buffer.data() + blocks * kBlockSize);
        }
        left -= static_cast<quint64>(wanted);
        {
            const std::lock_guard lock(m_lock);
            slot.run = Run{slot.buffer.data(), blocks, wanted};
            slot.filled = true;
        }
        m_changed.notify_all();
        index = (index + 1) % kSlots;
    }
    QString sha;
    if (error == 0 && digest) {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(digest.get(), value, &length) == 1) {
            sha = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(value), int(length)).toHex());
        }
    }
    {
        const std::lock_guard lock(m_lock);
        m_error = error;
        m_sha256 = sha;
        m_done = true;
    }
    m_changed.notify_all();
}
