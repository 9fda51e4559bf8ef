#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Small helpers every part of the program shares. None of them throws: each returns the
// fallback named beside it, and those with a location code log the failure under it.

// Fixed texts shown by the display helpers.
extern const QString NewCodeText; // FormatCode of a code not yet accepted by the service
extern const QString NoDateText;  // DisplayDateTime of an absent date

// Codes created on this installation and not yet accepted by the service lie above this.
constexpr int kLastServiceCode = 2147473646;
inline bool IsLocalCode(qint64 code)
{
    return code > kLastServiceCode;
}

// --- Storage and exchange forms (never regional) ---------------------------------------

// "yyyy-mm-dd hh:mm:ss", the date alone at exactly midnight; empty for an invalid value.
QString DateTimeToDbText(const QDateTime& value);
// Reads the form above (time optional); an invalid date-time when it does not parse.
QDateTime DbTextToDateTime(const QString& text);
// "," or "." as decimal separator, no thousands separator; 0 when it does not parse.
double ParseDotFloat(const QString& text);
// Shortest exact text with "." as decimal separator; "0" for non-finite values.
QString FloatToDotText(double value);

// --- Display forms (program format settings) --------------------------------------------

// No decimals, "." between thousands: 1234567 gives "1.234.567"; empty for non-finite.
QString FormatThousands(double number);
// FormatThousands of a text of 1 to 9 digits (after trimming); empty otherwise.
QString FormatThousandsText(const QString& text);
// Two decimals: 1234.5 gives "1.234,50".
QString FormatTwoDecimals(double number);
// Display text back to a number: thousands dots removed, "," as decimal separator.
double ParseThousandsFloat(const QString& text);
QString StripThousands(const QString& text);
qint64 ParseThousandsInt(const QString& text);
// "1,50 KB", "512,00 bytes", "1 byte", "0 bytes".
QString FormatSize(double bytes);
// "dd-mmm-yy hh:nn"; NoDateText for values before the never date or invalid ones.
QString DisplayDateTime(const QDateTime& value);
// Decimal value left-padded with zeros to the width (at most 64): ZeroPad(7, 4) is "0007".
QString ZeroPad(qint64 value, int width);
// The pattern's one "%s" filled with "1" for a count of 1, else with FormatThousands.
QString PluralText(const QString& singular, const QString& plural, qint64 count);

// --- Property codes ---------------------------------------------------------------------

// "AAAA-SSSSS" (agency, sequence): 123 gives "0000-00123"; NewCodeText for local codes.
QString FormatCode(qint64 code);
// Back from FormatCode or typed text; a bare sequence (below 100000) belongs to the
// current agency; 0 when the text is not a code.
int ParseCode(const QString& text);
// 1 to 9 digits, or agency and sequence as "A-SSSSS" to "AAAA-SSSSS".
bool IsCodeText(const QString& text);
// The range of service codes of the current agency.
int AgencyCodeFirst();
int AgencyCodeLast();
int AgencyOfCode(qint64 code);

// --- Character classes and validation (false on any failure) -----------------------------

enum class TCharClass {
    Digits,
    Letters,
    Alphanumeric,
    GeneralText,
    NameText,
    EmailChars,
    CodeChars,
    DashDigits,
    DecimalDigits,
    EmailAtom,
};

bool InCharClass(QChar c, TCharClass charClass);
// Every character in the class; an empty text is.
bool AllInClass(const QString& text, TCharClass charClass);
// Trimmed (and, when asked, without "."), not empty, at most maxLength, all digits.
bool IsDigits(const QString& text, int maxLength, bool ignoreThousands = false);
bool IsInteger(const QString& text);
bool IsLetters(const QString& text);
bool IsAlphanumeric(const QString& text);
bool IsGeneralText(const QString& text);
bool IsNameText(const QString& text);
bool IsCodeChars(const QString& text);
bool IsEmail(const QString& text);
// A year from 1800 up to the year of the last synchronisation.
bool IsYear(const QString& text);
// A date and/or time as users type it: dd/mm/yyyy (or yy, or without year), hh:nn[:ss].
bool IsDateTimeText(const QString& text);
// Parses what IsDateTimeText accepts; invalid when it does not.
QDateTime ParseDisplayDateTime(const QString& text);
// "-3" to "-1", "PB", "EP", "PA" (any case) or 1 to 99.
bool IsFloorText(const QString& text);

// --- Clean-up ---------------------------------------------------------------------------

// Keeps one class: 0 digits, 1 letters, 2 alphanumeric, 3 e-mail (empty unless the result
// is an address), 4 name text, 5 general text, 6 and 8 code characters, 7 dash digits.
QString FilterChars(int mode, const QString& text);
QString KeepGeneralText(const QString& text);
QString KeepDecimalDigits(const QString& text);
// Removes every "<...>" run; an unclosed "<" stays.
QString StripTags(const QString& text);
// Cut to at most length characters at a word boundary, with "…" appended.
QString TruncateAtWord(const QString& text, int length);
// Printable Latin-1 only (line breaks kept unless singleLine); length -1 = no cut.
QString SanitizeText(const QString& text, bool singleLine, int length = -1);
// Every line break as CR LF.
QString NormaliseLineBreaks(const QString& text);
QString FirstPipePart(const QString& text);
// Text for a double-quoted SQL literal: every double quote doubled. For LIKE patterns
// "%", "_" and the backslash itself also get a backslash (the statement declares
// ESCAPE "\").
QString EscapeSql(const QString& text, bool forLike = false);
// A value for a statement: null, a bare number of 1 to 9 digits, or a quoted literal.
QString SqlValueText(const QString& text);
// The accent folding of the REMOVE_ACCENTS SQL function.
QString RemoveAccents(const QString& text);
QString JoinWithCommas(const QStringList& items);
// Dotted version texts compared part by part as numbers ("3.10.0" is newer than "3.9.4";
// a missing part counts as 0): negative, 0 or positive like a comparison of a with b.
int CompareVersions(const QString& a, const QString& b);

// --- Hashing, encoding, random text -------------------------------------------------------

// MD5 of the text as 7-bit ASCII ("?" for anything else), 32 uppercase hex digits.
QString Md5Hex(const QString& text);
// Base64 of the UTF-8 bytes on one line, and back (empty when not Base64).
QString Base64Encode(const QString& text);
QString Base64Decode(const QString& text);
// The whole file as one line of Base64; false when unreadable or empty.
bool FileToBase64(const QString& path, QString& base64);
QString RandomBytes(int count);     // codes 1 to 255
QString RandomPrintable(int count); // codes 32 to 126
QString RandomLetterCase(const QString& text);

// Reversible scrambler of the log lines and stored texts. The scrambled form uses only
// the printable characters "!" to "~" without the apostrophe, plus "¬", "è", "ê" and
// "ø", and never a blank; every call gives a different form of the same text.
QString Scramble(const QString& text);
// The plain text again; an empty text when the input is not a scrambled form.
QString Unscramble(const QString& text);
// True when every character of the text belongs to the scrambled alphabet.
bool IsScrambledAlphabet(const QString& text);

// --- Files (paths are absolute) ------------------------------------------------------------

// Fills Paths from the running executable's path; false on any failure.
bool InitPaths(const QString& exePath);
bool DeleteFileLogged(const QString& path);
bool EnsureFolder(const QString& path);
bool CopyFileOver(const QString& source, const QString& target);
bool WriteBytesFile(const QString& path, const QByteArray& bytes);
bool DataFileExists(const QString& name);
// Whether the data file exists; its content (BOM or Latin-1) split at ";" into list.
bool ReadDataListFile(const QString& name, QStringList& list);
bool WriteDataFileOnce(const QString& name, const QString& text);

// Lets the window repaint and timers run for a while, ignoring the user's input meanwhile:
// the short pause after a status text so that it can be read.
void PauseWithEvents(int ms);

// The desktop's default handler opens a document, a web address or a new mail.
bool ShellOpen(const QString& path);
bool OpenUrl(const QString& address);
bool OpenMail(const QString& address);
// Starts another program with its own folder as working folder; the argument, when not
// empty after trimming, is passed as one argument.
bool LaunchProgram(const QString& path, const QString& argument);

// Size of the main screen in pixels; -1 when there is none.
int ScreenWidth();
int ScreenHeight();
