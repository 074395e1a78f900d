// One way of talking to a station's server: WinHTTP, or a socket of its own
// for plain http:// servers that answer "ICY 200 OK". Used by one thread,
// except Abort.
#pragma once

#include "stream/StationAddress.h"
#include "stream/StationAnswer.h"
#include "stream/StationFailure.h"

#include <windows.h>
#include <cstddef>

class IStationTransport {
public:
    virtual ~IStationTransport() {}
    // Connects within timeoutMs, sends the request (with "Icy-MetaData: 1")
    // and reads the answer's headers. stallMs: the longest wait for bytes.
    virtual StationFailure Connect(const StationAddress& address, DWORD timeoutMs, DWORD stallMs,
                                   StationAnswer& answer) = 0;
    // The address the answer came from, after redirects the transport followed.
    virtual std::wstring Url() const = 0;
    // Waits for bytes of the body: kFailNone with got > 0, kFailEnded at the
    // end, kFailStalled after stallMs without a byte, kFailReset.
    virtual StationFailure Receive(unsigned char* buffer, size_t size, size_t& got) = 0;
    // From any thread: makes a waiting Connect or Receive return kFailCancelled.
    virtual void Abort() = 0;
};
