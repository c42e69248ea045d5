#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QFile;

// Reads a file ahead of the sender on a thread of its own, in runs of whole 4096-byte blocks, and
// (when asked) computes the SHA-256 of the bytes read, so reading and hashing overlap the sending.
// Each run is padded to whole blocks as the station has always padded its last block: after the
// file's end comes the previous block's tail, or zeros when the file is shorter than one block.
class ReadAhead {
public:
    struct Run {
        const char *data = nullptr;
        int blocks = 0;   // whole blocks to send
        qint64 bytes = 0; // of them, bytes of the file
    };

    // Reads exactly size bytes of file (opened for reading) in runs of up to runBlocks blocks.
    ReadAhead(QFile &file, quint64 size, int runBlocks, bool hash);
    // Stops the reading and waits for its thread.
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next run; empty at the end of the file or when reading failed (see failed()). The run
    // returned before is given back by this call.
    std::optional<Run> next();

    // After next() came back empty: why, or 0 at a clean end. -1: the file ended early.
    int failed() const { return m_error; }
    // The SHA-256 of the whole file as 64 lowercase hexadecimal digits, once every run was taken;
    // empty without hashing.
    QString sha256() const { return m_sha256; }
    // Once the last run was taken: waits for the reader to finish the hash, and returns sha256().
    QString finishedSha256();

private:
    static constexpr int kSlots = 4;
    struct Slot {
        std::vector<char> buffer;
        Run run;
        bool filled = false;
    };

    void read();

    QFile &m_file;
    const quint64 m_size;
    const int m_runBlocks;
    const bool m_hash;
    std::array<Slot, kSlots> m_slots;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_nextToSend = 0;
    int m_given = -1; // the slot the sender holds
    bool m_stop = false;
    bool m_done = false; // the reader has filled its last run (or failed)
    int m_error = 0;
    QString m_sha256;
    std::thread m_thread;
};
