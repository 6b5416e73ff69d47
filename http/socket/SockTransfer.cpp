#include "http/socket/SockClient.h"

#include <cerrno>
#include <cstring>

// The socket client's transfers: sending text, blocks, streams and files, and taking lines and
// everything up to the peer's close out of the receive buffer.

// ---- sending ------------------------------------------------------------------------------

TSockClient::Sent TSockClient::sendAll(const char* p, std::size_t n,
                                       const std::function<void(std::size_t)>& afterPiece,
                                       AfterAttempt after) {
    Sent sent;
    EventLoop& loop = EventLoop::instance();
    while (sent.bytes < n && !canceled_ && !timedOut_) {
        const Transport::Result r = transport_.send(p + sent.bytes, n - sent.bytes);
        switch (r.status) {
        case Transport::Status::Done:
            if (r.bytes == 0) {
                sent.stalled = true;
                return sent;
            }
            sent.bytes += r.bytes;
            if (afterPiece) afterPiece(r.bytes);
            break;
        case Transport::Status::WantWrite:
            waitWritable();
            break;
        case Transport::Status::WantRead:
            // TLS has to read before it can write again; the read notification wakes us.
            WaitForSignal();
            break;
        case Transport::Status::Closed:
        case Transport::Status::Failed:
            if (r.status == Transport::Status::Failed && r.errnoValue == 0)
                throw ESockError("TLS connection failed: " + r.message, SockErrorKind::Tls);
            CheckSocketError(r.status == Transport::Status::Closed ? EPIPE : sendErrno(r.errnoValue),
                             sockerr::WouldBlock);
            sent.stalled = true;
            return sent;
        }
        if (after == AfterAttempt::Pump) loop.pump(EventLoop::PumpMode::DontWait);
    }
    return sent;
}

void TSockClient::SendBuffer(const char* p, std::uint16_t n) {
    ReportStatus(LevelDetail, "Sending Buffer");
    ArmedTimer armed(*this);
    if (!canceled_) {
        std::size_t length = n;
        if (length == 0) {
            length = ::strnlen(p, ChunkSize);
            if (length > 65535) throw ERangeError();
        }
        sendAll(p, length, nullptr, AfterAttempt::Continue);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockClient::Write(std::string_view text) {
    ReportStatus(LevelStep, "Write");
    if (text.size() <= 65535) {
        // The whole text goes out, zero bytes included: the HTTP layer announces its full
        // length, so stopping at a zero byte would leave the server waiting for the rest.
        std::memcpy(transferBuffer_.data(), text.data(), text.size());
        transferBuffer_[text.size()] = 0;
        SendBuffer(transferBuffer_.data(), static_cast<std::uint16_t>(text.size()));
    } else {
        TMemoryStream stream{std::string(text)};
        SendStream(stream);
    }
}

void TSockClient::Writeln(std::string_view text) {
    ReportStatus(LevelStep, "Writeln");
    std::string line(text);
    line += "\r\n";
    Write(line);
}

void TSockClient::SendStream(TStream& stream) {
    ReportStatus(LevelStep, "SendStream");
    stream.seek(0);
    if (!canceled_) {
        bytesSent = 0;
        bytesTotal = stream.size();
        const auto counted = [this](std::size_t piece) {
            bytesSent += static_cast<std::int64_t>(piece);
            fire(OnPacketSent);
        };
        while (stream.position() < stream.size() && !canceled_) {
            const std::int64_t chunk =
                stream.read(transferBuffer_.data(), std::min(ChunkSize, stream.size() - stream.position()));
            if (chunk <= 0) break;
            // A send that takes nothing ends the whole stream.
            if (sendAll(transferBuffer_.data(), static_cast<std::size_t>(chunk), counted, AfterAttempt::Pump)
                    .stalled)
                break;
        }
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockClient::SendFile(const std::string& name) {
    ReportStatus(LevelStep, "SendFile");
    TFileStream file(name, TFileStream::Mode::Read);
    // Armed before the first piece as well, so that a peer that never reads cannot hold the
    // send forever; every piece sent arms it again.
    ArmedTimer armed(*this);
    const auto counted = [this](std::size_t piece) {
        bytesSent += static_cast<std::int64_t>(piece);
        fire(OnPacketSent);
        TimerOn();
    };
    while (file.position() < file.size() && !canceled_) {
        const std::int64_t chunk = file.read(transferBuffer_.data(), ChunkSize);
        if (chunk <= 0) break;
        // A send that takes nothing ends this chunk; the file goes on with the next one.
        sendAll(transferBuffer_.data(), static_cast<std::size_t>(chunk), counted, AfterAttempt::Pump);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

// ---- receiving ----------------------------------------------------------------------------

std::string TSockClient::ReadLn() {
    ReportStatus(LevelStep, "ReadLn");
    TSpillBuffer& buffer = receiveBuffer();
    std::string result;
    std::int64_t n = 0;
    waitUntil(
        [this, &buffer, &n] {
            if (DataAvailable()) n = buffer.FindDelimiter("\n");
            return n > 0;
        },
        Arming::Arm);
    if (n > 0) {
        result.resize(static_cast<std::size_t>(n));
        buffer.Read(result.data(), n);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket readln aborted");
    }
    return result;
}

void TSockClient::CaptureStream(TStream& stream, std::int64_t limit) {
    ReportStatus(LevelStep, "Capture Stream");
    TSpillBuffer& buffer = receiveBuffer();
    bytesReceived = 0;
    ArmedTimer armed(*this);
    while (!canceled_) {
        if (limit != -1)
            waitUntil([this, &buffer] { return buffer.totalCount() > 0 || !connected_; }, Arming::AsArmed);
        const std::int64_t n = std::min(buffer.totalCount(), ChunkSize);
        if (n > 0) {
            buffer.Read(transferBuffer_.data(), n);
            stream.write(transferBuffer_.data(), n);
            bytesReceived += n;
        }
        fire(OnPacketRecvd);
        // Only a received piece restarts the time-out, so a capture that timed out still
        // says so when it ends.
        if (n > 0) TimerOn();
        if ((!connected_ && buffer.totalCount() == 0) || stream.size() == limit || limit == -1) break;
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TSockClient::CaptureFile(const std::string& name) {
    ReportStatus(LevelStep, "CaptureFile");
    TFileStream file(name, TFileStream::Mode::Create);
    CaptureStream(file, -2);
}

void TSockClient::CaptureString(std::string& text, std::int64_t limit) {
    ReportStatus(LevelStep, "Capture String");
    TSpillBuffer& buffer = receiveBuffer();
    bytesReceived = 0;
    text.clear();
    ArmedTimer armed(*this);
    while (!canceled_) {
        if (limit != -1)
            waitUntil([this, &buffer] { return buffer.totalCount() > 0 || !connected_; }, Arming::AsArmed);
        std::int64_t n = buffer.totalCount();
        if (limit >= 0) n = std::min(n, limit - static_cast<std::int64_t>(text.size()));
        if (n > 0) {
            // Everything buffered is taken before the connection state is looked at, so no
            // byte received before the close is lost.
            const std::size_t old = text.size();
            text.resize(old + static_cast<std::size_t>(n));
            buffer.Read(text.data() + old, n);
            bytesReceived += n;
            TimerOn();
        }
        fire(OnPacketRecvd);
        if (!connected_ || limit == -1) break;
        if (limit >= 0 && static_cast<std::int64_t>(text.size()) >= limit) break;
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket capture aborted");
    }
}

// ---- command and reply --------------------------------------------------------------------

std::string TSockClient::Transaction(const std::string& command) {
    ReportStatus(LevelStep, "Transaction");
    replyNumber = 0;
    Writeln(command);
    std::string reply = ReadLn();
    lastReply = reply;
    if (!reply.empty()) {
        ReportStatus(LevelReply, reply);
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (digits < reply.size() && digits < 10 && reply[digits] >= '0' && reply[digits] <= '9') {
            value = value * 10 + (reply[digits] - '0');
            ++digits;
        }
        if (digits > 0) {
            if (value > 32767) throw ERangeError();
            replyNumber = static_cast<std::int16_t>(value);
        }
    }
    return reply;
}
