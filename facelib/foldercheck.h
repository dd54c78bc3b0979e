#pragma once

#include "facelib/persontable.h"
#include "facelib/picturepipeline.h"
#include "facelib/runstart.h"
#include "platform/picturecodec.h"

#include <cstddef>
#include <string>
#include <vector>

namespace galvorn {

// One thing the folder check found.
struct FolderFinding
{
    enum class Kind
    {
        ShortRow,        // the row is too short for a column the header names
        UnreadableTable, // a reading cap broke; the rows from `line` on were not read
        MalformedCell,   // `column` (a header number) holds `text`, which reads otherwise
        PictureFault,    // the picture cannot be sent (`fault` says why)
        Reencoded,       // the picture will be encoded again as JPEG
        SharedPicture,   // the rows `lines` name the same picture
    };

    Kind kind = Kind::ShortRow;
    // The table row, 0 for a person without a table or a finding about no one row.
    int line = 0;
    int column = 0;
    std::string text;
    // The picture's name as the table gives it (or its file name).
    std::string picture;
    PictureFault fault = PictureFault::None;
    std::vector<int> lines;
};

// Everything a batch add of a folder would meet, found without contacting a device.
struct FolderReport
{
    std::string table;
    textcodec::Encoding encoding = textcodec::Encoding::Utf8;
    bool signature = false;
    // Why the table stopped being read (an UnreadableTable finding says where).
    CsvStatus tableStatus = CsvStatus::Ok;
    std::size_t persons = 0;
    // In the order of the rows: row findings, then picture findings, then shared pictures.
    std::vector<FolderFinding> findings;
    // Start's verdict on the folder, as the window's Start and batch-add give it.
    RunCheck start;

    // Every person's picture can be sent.
    bool picturesUsable() const;
    // A batch add of the folder would start, and every picture can be sent.
    bool ok() const { return start.ok() && picturesUsable(); }
};

// Checks the person table of `folder` and every picture it names, on up to `threads`
// threads (0 for the processor count). The folder is only read.
FolderReport CheckBatchAddFolder(const std::string& folder, const platform::PictureCodec& codec,
                                 unsigned threads = 0);

} // namespace galvorn
