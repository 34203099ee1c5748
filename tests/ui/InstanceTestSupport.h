#pragma once

// Clients of the running program's socket for the tests: each runs on a
// thread of its own while the test's thread serves.

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QLocalSocket>

#include <chrono>
#include <future>

namespace lorvanta::test {

// Runs a client on a thread of its own while this thread serves, as the
// later start of the program would from a process of its own.
template <typename Client> auto FromAnotherThread(Client client) {
    auto result = std::async(std::launch::async, client);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

inline bool Send(const QString& name, const QString& file, int timeoutMs = 2000) {
    return FromAnotherThread([=] { return SendToRunningInstance(name, file, timeoutMs); });
}

// Sends raw bytes and returns what the server answers before it falls silent
// or drops the connection.
inline QByteArray SendRaw(const QString& name, const QByteArray& bytes) {
    return FromAnotherThread([=] {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(2000))
            return QByteArray("not connected");
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        QByteArray answer;
        while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(300))
            answer += socket.readAll();
        return answer + socket.readAll();
    });
}

} // namespace lorvanta::test
