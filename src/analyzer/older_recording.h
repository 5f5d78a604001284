#pragma once
// Converting a Jet 4.0 file of the earlier tool for the analyzer's load
// command. The conversion runs in a separate process, orlix-import, so that
// the window stays responsive and a file that upsets the Jet library cannot
// take the window down with it; a progress dialog with a Cancel button shows
// when the conversion takes longer than half a second.
#include <QString>

#include "database/converted_copy.h"

class QWidget;

namespace orlix::analyzer {

// orlix-import beside this program, in ../tools beside it (a build tree), or
// on the PATH; empty when there is none. A test names its own.
QString importerProgram();
void setImporterProgram(const QString& path);

// Makes (or reuses) the copy that `plan` calls for. Without orlix-import the
// conversion runs here, the dialog kept alive between records.
SampleFile convertWithProgress(QWidget* parent, const ConversionPlan& plan);

}  // namespace orlix::analyzer
