// poppler's tools (pdftotext, pdffonts, pdfimages, pdfinfo, pdftoppm), which
// read the PDFs back. Under Wine they are the Linux machine's own: Wine
// starts Unix programs, which are given the Unix names of the files.
#pragma once

#include <QString>
#include <QStringList>

namespace PopplerTools {

// path as that program names it.
QString path(const QString& path);

// What tool ("pdftotext") printed to its standard output, given arguments
// (paths already translated); a tool that fails or does not end in a minute
// fails the test.
QString run(const QString& tool, const QStringList& arguments);

} // namespace PopplerTools
