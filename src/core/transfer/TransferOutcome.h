#pragma once

#include <QString>
#include <QtGlobal>

// What kind of end a transfer came to, as the worker judges it.
enum class TransferResult {
    Success,
    SocketLibrary,
    SocketCreation,
    Connect,
    Header,      // header not sent or acknowledgement not received
    Data,        // file not opened or read, or a data block not sent
    Unsendable,  // the file name or destination cannot be put into a header: no try can ever succeed
    Refused,     // the isolator closed the connection instead of acknowledging the header
    Stopped,     // the operator (or the exit) stopped it
    FileMissing, // no regular file of that name in the upload folder: nobody was contacted
    NotSettled,  // another program writes the file, or it changed a moment ago: tried again shortly
    Changed,     // the file changed while it was read: what left is not what was queued
    Infected,    // the malware scanner found something: refused for good, never sent
    ScanFailed,  // the malware scanner could not be asked or gave no verdict: nothing was sent
};

// A short English phrase for the result (for tools and log lines).
QString describe(TransferResult result);

// How one transfer ended, handed from the worker to whoever judges and records it, as a value: the
// kind, the operator's reason, how much of the file left and how long it took, and the SHA-256 of
// what was sent.
struct TransferOutcome {
    TransferResult result = TransferResult::Success;
    QString reason;     // for the operator; empty on success
    quint64 bytes = 0;  // bytes of the file that left (at most its size)
    double seconds = 0; // from the worker's start to its end
    QString sha256;     // 64 hexadecimal digits; empty without hashing or on failure
    QString isolator;   // "address:port" the transfer went to (or would have)

    static TransferOutcome failure(TransferResult result, const QString &reason) {
        TransferOutcome outcome;
        outcome.result = result;
        outcome.reason = reason;
        return outcome;
    }

    bool succeeded() const { return result == TransferResult::Success; }
    // False when trying again cannot help until the operator changes something.
    bool retryable() const {
        return result != TransferResult::Unsendable && result != TransferResult::FileMissing &&
               result != TransferResult::Infected;
    }
};
