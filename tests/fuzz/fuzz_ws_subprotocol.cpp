// The subprotocols a WebSocket client offers, where a browser's page gives
// the agent's token: whoever reaches the port writes the header.
#include "apitoken.h"
#include "fuzzexpect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray offered(reinterpret_cast<const char*>(data), int(size));
    const QByteArray authorization = ApiToken::fromSubprotocols(offered);
    FUZZ_EXPECT(authorization.isEmpty() ||
                (authorization.startsWith("Bearer ") && offered.contains("bearer.")));
    FUZZ_EXPECT(!ApiToken::accepts(QByteArray(), authorization));
    return 0;
}
