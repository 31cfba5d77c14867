#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace caltrix::antproto {

// Where the bytes from a stick go. A transport calls it from its reader thread (USB, serial) or
// from the main thread (the virtual stick); the receiver copes with either.
class TransportListener {
public:
    virtual ~TransportListener() = default;
    // Bytes as they arrived; frames may be split across calls or packed into one.
    virtual void bytesReceived(std::span<const std::uint8_t> bytes) = 0;
    // The stick is gone (unplugged, tty hung up). Called once at most; nothing arrives after it.
    virtual void transportLost(const std::string& reason) = 0;
};

// One stick reached one way: a byte pipe that knows nothing of the ANT protocol.
class Transport {
public:
    virtual ~Transport() = default;

    // Opens the stick and starts delivering its bytes to `listener`, which must outlive `close`.
    // On failure returns false and sets `error` to one line saying what went wrong and how to fix
    // it. Main thread.
    virtual bool open(TransportListener& listener, std::string& error) = 0;

    // Sends bytes to the stick without waiting for it: they are queued and go out as the stick
    // takes them. False when the stick is gone, not open, or has stopped taking bytes (its queue is
    // full). Main thread.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // Stops delivery and releases the stick. After it returns the listener is not called again.
    // Safe to call twice or without `open`. Main thread.
    virtual void close() = 0;
};

} // namespace caltrix::antproto
