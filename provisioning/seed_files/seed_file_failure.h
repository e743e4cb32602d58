// What a step of a save did not do, and what it noticed on the way, as
// values: which file, which step, the kind and the system's code, and what
// the wording needs. seed_export_messages makes the operator's lines of them
// where they are shown, so a caller tells a busy file from a refused one by
// its kind, not by its words.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "files/system_error.h"
#include "text/message_text.h"

struct SeedFileFailure {
  enum class Step {
    LockHeld,         // another save held its lock for all of `waited` (kind Busy)
    LockFile,         // its lock file could not be opened or created
    Restore,          // the file is missing and `other`, complete, could not take its name
    Read,             // the file could not be read
    Open,             // appending: the file could not be opened
    CreateTemporary,  // publishing: no temporary file beside it
    Write,            // writing failed (appending: see `cutBack`)
    NotWritten,       // the new version was not written, for no reason the system gave
    ReadOnly,         // the file is marked read-only
    Security,         // the new version could not get the file's rules
    Replace,          // the new version could not take its place (see `other`)
    Refused,          // the contents cannot be carried over: `detail` says why
    Memory,           // memory ran out (kind TooLarge: the file does not fit in it)
    Unexpected,       // an unexpected exception, with its text in `detail` when it had one
    SerialText,       // the serial number is not valid text in the system code page
    Encoding,         // the file cannot take the token in its own encoding: `encoding` says why
  };
  enum class EncodingProblem {
    OddUtf16Length,  // UTF-16 of an odd length (a cut row, a stray byte): a row added would be read shifted
    Utf16BigEndian,  // a CSV file in UTF-16 big-endian
    Utf16,           // an XML file in UTF-16: saving would turn it into UTF-8
    Declared,        // an XML file in `declaredEncoding` (empty: UTF-32), which the tool does not write
    NotInCodePage,   // a CSV file in the ANSI code page, which has no form for the row's texts
  };
  std::filesystem::path file;
  Step step = Step::NotWritten;
  FileError error;             // the kind, and the system's code where it gave one
  bool leftUnchanged = false;  // the file is as it was before the save
  // Locking: the name of the lock file, and how long a held one was waited for.
  std::filesystem::path lockFile;
  std::chrono::milliseconds waited{0};
  // Restore: the complete leftover; Replace: where everything is kept, the
  // old file having left its name meanwhile (empty when it did not).
  std::filesystem::path other;
  // Appending: cutting the file back failed too, so its last row is incomplete.
  std::optional<FileError> cutBack;
  std::optional<MessageText> detail;
  // Encoding: why, and the encoding an XML file declares.
  EncodingProblem encoding = EncodingProblem::OddUtf16Length;
  std::string declaredEncoding;
};

// What dealing with an interrupted save's leftovers, or a save, noticed.
struct SeedFileNote {
  enum class What {
    LinkLeftAlone,     // `leftover`, beside the file, is a link
    Restored,          // the file was missing and was put back from `leftover`
    RestoredNameKept,  // `leftover` leads to the restored file too: `error` why
    Conflict,          // `leftover` and `other` give `serial` different seeds
    NotRemoved,        // `leftover` holds nothing the file lacks but stays: `error` why
    Kept,              // `leftover` may hold tokens that the file lacks
    StrayTemporary,    // the file was saved, but its temporary name `leftover` stays
  };
  What what = What::Kept;
  std::filesystem::path file;
  std::filesystem::path leftover;
  std::filesystem::path other;
  FileError error;
  std::string serial;  // its bytes as the file holds them
};
