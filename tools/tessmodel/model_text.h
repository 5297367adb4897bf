// tools/tessmodel/model_text.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessmodel {

// A readable text form of model files (part trees) and animation files
// (tracks of keys). Every byte of a file has its place in the text, so
// binary -> text -> binary gives the file back byte for byte: names keep
// whatever follows their terminator, keys their padding, files the bytes
// after their last record.
//
//   model                          anime
//   highest 1                      version 1
//   root 0                         model "hero.mdl"
//   part 0                         highest 0
//     kind 1                       unused 0
//     name "body"                  track 0
//     mesh "body.x"                  key 0 rot 0 90 0 dir 1 1 1 move 0 0 0 mesh 0
//     parent -1                      key 10 rot 0 180 0 dir 1 -1 1 move 0 1.5 0 mesh 0
//     children 1                   frames 20
//     v0 1 0 0
//     ... v1 to v7
//
// Names are quoted; `\"`, `\\` and `\xHH` escape bytes, other bytes stand
// for themselves. Children list the slots up to the last used one (-1 for
// an empty slot); the rest are empty. Keys list the slots up to the last
// one that is not an empty key (frame -1, rotation 0, directions 1,
// translation 0, mesh -1); an optional `pad A B C` gives padding bytes. A
// `trailing HEX` line keeps bytes after the last record. Floats are written
// in the fewest digits that read back to the same value; `bits:XXXXXXXX`
// gives a float by its bits (NaNs). Lines starting with "#" are comments.

enum class FileKind { Model, Anime };

// Text form of a file; false with `error` set when the bytes are not a
// whole file of that kind.
bool toText(FileKind kind, const uint8_t* data, size_t size, std::string& text, std::string& error);

// The file from its text form (model or anime, as its first word says).
// False with `error` ("line N: ...") on the first fault.
bool fromText(const std::string& text, std::vector<uint8_t>& out, std::string& error);

// Kind of a file by its name and size: "mdl" names are models; otherwise
// the layout that accounts for the size wins, models on a tie.
FileKind guessKind(const std::string& name, const uint8_t* data, size_t size);

}  // namespace tessmodel
