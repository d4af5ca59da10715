// The upgrade relay's output. The first byte sets the size of the pieces
// it arrives in; the records must come out the same as from one piece.
#include "fuzzexpect.h"
#include "relay/relayprotocol.h"
#include "relayrecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const QByteArray output(reinterpret_cast<const char*>(data + 1), int(size - 1));
    QByteArray whole = output, pending;
    QVector<RelayRecord> atOnce;
    const bool sound = takeRelayRecords(whole, &atOnce);
    QVector<RelayRecord> inPieces;
    bool piecesSound = true;
    const int piece = data[0] + 1;
    for (int at = 0; at < output.size() && piecesSound; at += piece) {
        pending += output.mid(at, piece);
        piecesSound = takeRelayRecords(pending, &inPieces);
    }
    FUZZ_EXPECT(sound == piecesSound && atOnce.size() == inPieces.size());
    for (int i = 0; i < atOnce.size(); ++i) {
        FUZZ_EXPECT(atOnce[i].tag == inPieces[i].tag && atOnce[i].body == inPieces[i].body);
        FUZZ_EXPECT(atOnce[i].tag == RelayProtocol::kMessage || !atOnce[i].body.isEmpty());
    }
    FUZZ_EXPECT(!sound || whole == pending);
    return 0;
}
