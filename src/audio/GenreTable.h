// The ID3v1 genre names by number, as tags store them and the genre lists show them.
#pragma once

namespace corvane {

// Number of names in the genre table: genre numbers 0..147.
constexpr int kGenreCount = 148;

// The table itself, kGenreCount names followed by nullptr (the end marker).
extern const char* const GenreNames[kGenreCount + 1];

// The genre name of an ID3v1 genre number, nullptr outside 0..147.
const char* GenreName(int number);

}  // namespace corvane
