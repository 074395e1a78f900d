#include "stream/StationFailure.h"

bool StationFailureTemporary(StationFailure failure)
{
    switch (failure) {
    case kFailName:
    case kFailConnect:
    case kFailReset:
    case kFailTimeout:
    case kFailStatus:
    case kFailBadAnswer:
    case kFailEnded:
    case kFailStalled:
        return true;
    default:
        return false;
    }
}

std::wstring StationFailureText(StationFailure failure, unsigned status, bool japanese)
{
    std::wstring code = L" (HTTP " + std::to_wstring(status) + L")";
    switch (failure) {
    case kFailNone:
        return std::wstring();
    case kFailBadAddress:
        return japanese ? L"アドレスが http:// または https:// で始まっていません。"
                        : L"The address does not begin with http:// or https://.";
    case kFailName:
        return japanese ? L"放送局のサーバー名が見つかりません。" : L"The station's server name was not found.";
    case kFailConnect:
        return japanese ? L"放送局のサーバーに接続できません。" : L"The station's server cannot be reached.";
    case kFailReset:
        return japanese ? L"放送局のサーバーが接続を切りました。" : L"The station's server closed the connection.";
    case kFailTimeout:
        return japanese ? L"放送局のサーバーが時間内に応答しません。" : L"The station's server did not answer in time.";
    case kFailStatus:
        if (status == 401 || status == 403)
            return (japanese ? L"放送局が接続を拒否しました" : L"The station refused the connection") + code +
                   (japanese ? L"。" : L".");
        if (status == 404 || status == 410)
            return (japanese ? L"このアドレスに放送はありません" : L"The station has no stream at this address") + code +
                   (japanese ? L"。" : L".");
        if (status >= 500)
            return (japanese ? L"放送局のサーバーに問題があります" : L"The station's server has a problem") + code +
                   (japanese ? L"。" : L".");
        return (japanese ? L"放送局のサーバーが想定外の応答をしました" : L"The station's server gave an unexpected answer") +
               code + (japanese ? L"。" : L".");
    case kFailBadAnswer:
        return japanese ? L"放送局のサーバーの応答を読めません。" : L"The station's server sent an answer that cannot be read.";
    case kFailCertificate:
        return japanese ? L"放送局の安全な接続 (証明書) を確認できません。"
                        : L"The station's secure connection (its certificate) could not be verified.";
    case kFailInsecureRedirect:
        return japanese ? L"放送局が HTTPS から HTTP へ転送しようとしたため、接続しませんでした。"
                        : L"The station redirected from HTTPS to plain HTTP, which is refused.";
    case kFailTooManyHops:
        return japanese ? L"転送またはプレイリストが多すぎます。" : L"The address leads through too many redirects or playlists.";
    case kFailEmptyPlaylist:
        return japanese ? L"プレイリストに放送のアドレスがありません。" : L"The playlist holds no stream address.";
    case kFailHtml:
        return japanese ? L"このアドレスは放送ではなくウェブページです。" : L"The address leads to a web page, not a stream.";
    case kFailHls:
        return japanese ? L"このアドレスは HLS のプレイリストです。" : L"The address is an HLS playlist.";
    case kFailHlsEncrypted:
        return japanese ? L"この HLS 放送は暗号化されていて、録音できません。" : L"This HLS station is encrypted and cannot be recorded.";
    case kFailHlsNoVariant:
        return japanese ? L"この HLS 放送には録音できる音声 (AAC か MP3) がありません。"
                        : L"This HLS station offers no audio that can be recorded (AAC or MP3).";
    case kFailUnknownFormat:
        return japanese ? L"放送局が送るものは MP3、AAC、Ogg のどれでもありません。"
                        : L"What the station sends is not MP3, AAC or Ogg.";
    case kFailEnded:
        return japanese ? L"放送局が送信を終えました。" : L"The station stopped sending.";
    case kFailStalled:
        return japanese ? L"放送局から 10 秒間なにも届きません。" : L"Nothing came from the station for 10 s.";
    case kFailCancelled:
        return japanese ? L"取り消しました。" : L"Cancelled.";
    }
    return std::wstring();
}
