// Why a station could not be opened or read, and the line the user reads.
#pragma once

#include <string>

enum StationFailure {
    kFailNone,
    kFailBadAddress,        // not an http:// or https:// address
    kFailName,              // the host's name was not found
    kFailConnect,           // no connection (refused, unreachable)
    kFailReset,             // the connection was reset or closed before an answer
    kFailTimeout,           // no answer in time
    kFailStatus,            // an HTTP status other than 200 (403, 404, 5xx...)
    kFailBadAnswer,         // an answer that is no HTTP or ICY
    kFailCertificate,       // TLS failed: the certificate or the protocol
    kFailInsecureRedirect,  // a redirect from https:// to http://
    kFailTooManyHops,       // redirects or playlists in a ring
    kFailEmptyPlaylist,     // a playlist without a stream address
    kFailHtml,              // a web page
    kFailHls,               // an HLS playlist: not recorded yet
    kFailUnknownFormat,     // bytes that are no MP3, AAC or Ogg
    kFailEnded,             // the station closed the stream (a drop)
    kFailStalled,           // no bytes for the stall time (a drop)
    kFailCancelled,
    kFailHlsEncrypted,  // HLS segments behind a key: not recorded
    kFailHlsNoVariant,  // a master playlist without audio this program records
};

// Worth another try until the recording's stop: a drop, a refusal, a
// timeout. The others need the user (a wrong address, a web page).
bool StationFailureTemporary(StationFailure failure);
// One sentence, with the HTTP status where there is one.
std::wstring StationFailureText(StationFailure failure, unsigned status, bool japanese);
