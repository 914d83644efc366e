#pragma once
// A download that has not finished: the file it goes to, and the record beside it that lets the
// next run pick it up for the same package address.

#include <cstdint>
#include <string>

#include "common/owners.h"
#include "install/package_signature.h"

// What a partial file holds and what it is a part of.
struct PartialDownload {
    UniqueHandle file;         // open for writing by this process alone; empty: none
    std::uint64_t held = 0;    // the bytes in it
    std::uint64_t total = 0;   // the whole package's length; 0: unknown
    std::wstring validator{};  // what a request for the rest carries in If-Range; empty: none
};

// The file a download goes to until it is complete: the archive's name and ".partial".
std::wstring PartialPath(const std::wstring& archive);

// The partial file that an earlier run left for this package address, open at its end, its
// bytes added to the hash (when given). Whatever else a run left behind is deleted: another
// address's partial download, and a partial file that no record vouches for or that is not
// shorter than its package; then the record is gone too and the hash restarted. A record with a
// control character in any line vouches for nothing, and neither the record nor the partial
// file is read through a link (a reparse point is refused).
PartialDownload PickUpPartial(const std::wstring& archive, const std::wstring& packageAddress,
                              Sha256* hash);

// The partial file anew and empty, written by this process alone: others may only read it.
UniqueHandle CreatePartial(const std::wstring& archive);

// Writes beside the partial file what it is a part of, for the next run; removes the record
// when the download could not be picked up then (no validator, no length, or a line that the
// record could not hold).
void RecordPartial(const std::wstring& archive, const std::wstring& packageAddress,
                   const std::wstring& validator, std::uint64_t total);

// Removes the record: the download became the archive, or is given up.
void ForgetPartial(const std::wstring& archive);

// Removes whatever partial download the folder's record names, and the record: an uninstall
// leaves none behind.
void RemoveLeftDownload(const std::wstring& folder);
