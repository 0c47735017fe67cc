// Any bytes as the header lines of responses: the client keeps lines without line ends, and the
// size it reads from them never crashes.

#include "platform/WindowPorts.h"
#include "update/HttpTransfer.h"
#include "update/UpdateFormats.h"

#include <cstdint>
#include <cstdlib>

namespace {
class NoPump final : public vk::MessagePump {
public:
    void processPendingMessages() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NoPump pump;
    vk::HttpTransfer http(pump);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& line : bytes.split('\n')) {
        http.takeHeaderLine(line + '\n');
    }
    for (const QString& line : http.RcvdHeader) {
        if (line.endsWith(u'\r') || line.endsWith(u'\n') || line.isEmpty()) {
            std::abort();
        }
    }
    (void)vk::announcedSize(http.RcvdHeader);
    return 0;
}
