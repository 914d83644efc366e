#pragma once
// The package's download: straight into a file in the temporary folder, hashed on the way,
// picked up where it broke off (in the same run, and in the next one), and only then, complete,
// made the archive that is unpacked.

#include <chrono>
#include <string>
#include <vector>

#include "common/owners.h"
#include "config/status.h"
#include "install/messages.h"
#include "install/package_signature.h"
#include "net/session.h"

struct PackageDownload {
    std::wstring url;             // the direct link
    std::wstring packageAddress;  // the package's address in the settings, before any link
                                  // service: a partial download is kept for this address
    std::wstring archive;         // where the complete package goes (TempDownloadPath)
    std::wstring installDir;      // its disk must hold the package once more, unpacked
    // The waits before the resumptions of one run: as many resumptions as waits.
    std::vector<std::chrono::milliseconds> waits{std::chrono::seconds(1), std::chrono::seconds(2),
                                                 std::chrono::seconds(4), std::chrono::seconds(8),
                                                 std::chrono::seconds(16)};
};

// Reports "正在下载安装包..." and downloads the package into PartialPath(archive), written by
// this process alone. A partial file that an earlier run left for the same package address is
// asked for only its missing bytes; any other is deleted. A body that breaks off, or a server
// that is busy (a 5xx, 408 or 429), is waited out with the bytes kept, after each wait of
// download.waits ("网络中断，正在重新连接..." meanwhile); the URL that delivered the body is then
// asked for the rest, with Range and If-Range on every hop. A 403, 404 or 410 to that request
// sends it back to the package's link, with its redirects afresh. A 206 is joined only when it
// comes from the version held and starts at the byte where the file ends; a 200 body or another
// version starts the package again from zero, and a server that sends something else is asked
// for the whole package. Only a 200 is the package. When the length is announced, the free
// space of the temporary folder's disk and of the install directory's is checked before the
// body is read, and a byte more than announced stops the download. hash (when given) holds
// every byte of the package when it returns true, and progress is called with the bytes held
// and the whole length. True: partial holds the complete file open. False: the error text (when
// given) is one of HttpGet's, "磁盘空间不足" or "无法写入下载文件"; what could be picked up in a
// later run stays behind, with a small record beside it.
bool DownloadPackage(const ProxySettings& proxies, const PackageDownload& download,
                     const StatusFunction& status, const ProgressFunction& progress, Sha256* hash,
                     UniqueHandle& partial, std::wstring* error);

// Makes the complete download the archive, by rename, and opens it for reading, shared with
// readers only: while held, nothing changes it. partial is closed. On failure the error text
// (when given) becomes "无法写入下载文件".
bool KeepAsArchive(const std::wstring& archive, UniqueHandle& partial, UniqueHandle& held,
                   std::wstring* error);

// Deletes the download and its record: a package that failed its check is never picked up.
void DiscardDownload(const std::wstring& archive, UniqueHandle& partial);
