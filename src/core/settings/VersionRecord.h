#pragma once
/// The controller's version record as the version dialog and the command line show
/// and edit it: the programming date (days since 1 April 2004) as "%d/%m/%Y" text
/// and back, and the decoded fields of a 21-byte record.

#include <cstdint>
#include <string>

namespace zefirel {

inline constexpr const char* MSG_VERSION_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
inline constexpr const char* MSG_VERSION_WRITE_FAILED = "Nie powiodło się zapisanie ustawień urządzenia!";
/// A 10-character date that is no calendar day from 01/04/2004 to the last day a
/// 16-bit day count reaches.
inline constexpr const char* MSG_VERSION_DATE_INVALID =
    "Nieprawidłowa data zaprogramowania (dd/mm/rrrr, od 01/04/2004).";

/// An identity that does not fit the 16-byte enciphered block.
inline constexpr const char* MSG_VERSION_IDENTITY_TOO_LONG = "ID może mieć najwyżej 16 znaków.";
/// Longest identity in bytes (CP1250: one byte per character).
inline constexpr size_t IDENTITY_MAX_BYTES = 16;

/// The controller keeps its identity in CP1250, as every other text of it: the
/// deciphered bytes as UTF-8 text, and a UTF-8 text as the bytes to encipher (a
/// character CP1250 lacks becomes '?').
std::string identityText(const std::string& cp1250);
std::string identityBytes(const std::string& utf8);
/// Whether a UTF-8 identity fits the 16-byte block.
bool identityFits(const std::string& utf8);

/// Length of a date text that "Wpisz" accepts.
inline constexpr size_t PROGRAMMING_DATE_TEXT_LENGTH = 10;

/// The date that lies the given number of days after 1 April 2004, as "dd/mm/yyyy".
std::string formatProgrammingDate(uint32_t days);
/// Today's local date as "dd/mm/yyyy".
std::string todayDateText();

enum class EDateText { Ok, WrongLength, Invalid };
/// Reads "dd/mm/yyyy": WrongLength unless the text has exactly 10 characters;
/// Invalid when the day, month and year at positions 0, 3 and 6 are not decimal
/// numbers of a real date, or the date lies before 1 April 2004 or beyond 65535
/// days after it; otherwise Ok with the day count.
EDateText parseProgrammingDate(const std::string& text, uint16_t& days);

/// The fields of a host-order 21-byte version record.
struct VersionFields {
    uint16_t programmingDate = 0; ///< days since 1 April 2004
    uint16_t version = 0;
    uint8_t injectors = 0;
    std::string identity;         ///< deciphered
};
VersionFields decodeVersionRecord(const uint8_t* record21);

} // namespace zefirel
