#include "core/transfer/TransferOutcome.h"

QString describe(TransferResult result) {
    switch (result) {
    case TransferResult::Success:
        return QStringLiteral("success: all data blocks sent");
    case TransferResult::SocketLibrary:
        return QStringLiteral("starting the socket library failed");
    case TransferResult::SocketCreation:
        return QStringLiteral("creating the socket failed");
    case TransferResult::Connect:
        return QStringLiteral("connecting to the isolator failed");
    case TransferResult::Header:
        return QStringLiteral("header refused or not sent, or acknowledgement not received");
    case TransferResult::Data:
        return QStringLiteral("file not read, data block not sent, or stop requested");
    case TransferResult::Unsendable:
        return QStringLiteral("file name or destination cannot travel in a header");
    case TransferResult::Refused:
        return QStringLiteral("header refused: the isolator closed the connection");
    case TransferResult::Stopped:
        return QStringLiteral("stop requested");
    case TransferResult::FileMissing:
        return QStringLiteral("no regular file to send");
    case TransferResult::NotSettled:
        return QStringLiteral("file still being written");
    case TransferResult::Changed:
        return QStringLiteral("file changed while being sent");
    case TransferResult::Infected:
        return QStringLiteral("refused: the malware scanner found something");
    case TransferResult::ScanFailed:
        return QStringLiteral("the malware scanner gave no verdict");
    }
    return QStringLiteral("unknown result");
}
