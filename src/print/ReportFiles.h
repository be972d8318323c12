// The workstation's number (environment variable PCLocal) and the names of
// the files made from it: the report file, its archive copies, the delimited
// export and the e-mail hand-over; and the report font of "FontStp.txt".
//
// The report file has one name for its writers (the main window, the
// archive copy, the export) and its readers (the printing engines, the
// preview), so a PCLocal that is unset or not a plain number never leaves
// the readers looking for a file nobody wrote.
#pragma once

#include <QDateTime>
#include <QString>

namespace quorvel {

// PCLocal's text unchanged (looked up case-insensitively); empty when unset.
QString pcNumberRaw();

// PCLocal read as a number from its start, in its shortest form: "3" for
// "03", "0" when unset or not numeric.
QString pcNumberNumeric();

// The raw form made safe for a file name: characters that a file name cannot
// hold (path separators, : * ? " < > | and control characters) become '_'.
// Equal to the raw form for every ordinary value.
QString pcFileTag();

// "fd" + the PC number: the report file in the working folder (fd3 for 3).
QString reportFileName();

// "doc" + separator + "fd" + PC number + YYYYMMDDhhmm + ".doc", with the
// platform's native separator.
QString archiveCopyName(const QDateTime& now);

// Creates the folder "doc" and copies the report file to archiveCopyName(now),
// replacing a copy of the same minute. Returns the archive name (also when
// there is no report file to copy, as the print menu keeps it anyway).
// Throws Error when the copy fails.
QString makeArchiveCopy(const QDateTime& now);

// "fd" + PC number + ".csv": the delimited export, whatever its input.
QString exportFileName();

// "e-mail" + PC number + ".txt": the mailer's hand-over file.
QString mailFileName();

// The report font: the first line of "FontStp.txt", trimmed; "Courier New"
// when the file is missing, unreadable or its first line is blank.
QString reportFontName();

}  // namespace quorvel
