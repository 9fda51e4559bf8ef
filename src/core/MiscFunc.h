#pragma once

#include <QByteArray>
#include <QString>

// Reversible scrambler of the log lines and stored texts. The scrambled form uses only
// the printable characters "!" to "~" without the apostrophe, plus "¬", "è", "ê" and
// "ø", and never a blank; every call gives a different form of the same text.
QString Scramble(const QString& text);
// The plain text again; an empty text when the input is not a scrambled form.
QString Unscramble(const QString& text);
// True when every character of the text belongs to the scrambled alphabet.
bool IsScrambledAlphabet(const QString& text);

// Files. Paths are absolute.
bool DeleteFileLogged(const QString& path);
bool EnsureFolder(const QString& path);
bool CopyFileOver(const QString& source, const QString& target);
bool WriteBytesFile(const QString& path, const QByteArray& bytes);
bool DataFileExists(const QString& name);
bool WriteDataFileOnce(const QString& name, const QString& text);

// Starts another program with its own folder as working folder; the argument, when not
// empty after trimming, is passed as one argument.
bool LaunchProgram(const QString& path, const QString& argument);

// Text for a double-quoted SQL literal: every double quote doubled; for LIKE patterns
// "%" and "_" also get a backslash (the statement declares ESCAPE "\").
QString EscapeSql(const QString& text, bool forLike = false);
