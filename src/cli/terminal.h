#pragma once

#include <QString>
#include <QStringView>
#include <cstdio>

// Text on a terminal: its width in columns, and the program's lines going out.
namespace pagrim::cli {

// The text cut at its start to at most width columns, "..." for what went.
QString elideLeft(const QString& text, int width);
// The text followed by blanks up to width columns.
QString padded(const QString& text, int width);

bool isTerminal(FILE* stream);
// The terminal's width in columns; 80 when it does not tell.
int terminalColumns(FILE* stream);

// Writes the text in the locale's encoding, at once.
void write(FILE* stream, const QString& text);

} // namespace pagrim::cli
