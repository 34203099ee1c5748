#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvanta {

// What kind of box the program shows a message in.
// Plain: a box with no icon.
enum class MessageKind { Error, Warning, Question, Information, Plain };

// The buttons a box offers, and the one the user pressed.
enum class MessageButtons { Ok, YesNo, YesNoCancel, OkCancel, RetryCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel, Retry };

struct UserMessage {
    MessageKind kind = MessageKind::Error;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
};

// The one way the program talks to the user. The core reports through it; the
// window answers with real boxes, tests and the command-line tool record.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer Show(const UserMessage& message) = 0;
};

// Keeps every message and answers each with a fixed reply.
class RecordingMessageSink : public MessageSink {
public:
    explicit RecordingMessageSink(MessageAnswer reply = MessageAnswer::Ok) : m_reply(reply) {}
    MessageAnswer Show(const UserMessage& message) override {
        m_messages.push_back(message);
        return m_reply;
    }
    const std::vector<UserMessage>& Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }

private:
    MessageAnswer m_reply;
    std::vector<UserMessage> m_messages;
};

// Fills the %1 and %2 placeholders of a message text.
std::string FormatMessage(std::string_view pattern, std::string_view first,
                          std::string_view second = {});

// Codes as the messages print them: "%d" and "0x%x".
std::string FormatDecimal(long long value);
std::string FormatHex(unsigned long value);

// Texts about the files the program reads and writes.
namespace messages {
// Details of "Cannot read file %1: %2."
extern const char* const kHoldsNoTaal;
extern const char* const kHoldsTooManyBols;
extern const char* const kNotRegularDetail;
extern const char* const kTooLargeDetail;
// Refused saves; %1 is the target's path.
extern const char* const kNotRegularFile;
extern const char* const kReadOnlyFile;
// Saving over a file whose read failed a check.
extern const char* const kSaveIncompleteRead;
} // namespace messages

enum class LimitStatus : std::uint32_t; // model/TaalLimits.h

// The warning that says which limit of a Taal a refused change would break;
// none for Ok.
std::optional<UserMessage> LimitMessage(LimitStatus status);

} // namespace lorvanta
