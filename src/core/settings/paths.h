// Where the program finds what is installed beside it.
#pragma once

#include <QString>

namespace vorlane {

// The file `name` beside the executable (build tree) or in the installed data folder.
// Returns the path beside the executable when neither exists.
QString dataFile(const QString& name);
// The program's directory: beside the executable when the template lies there, else the
// installed data folder.
QString programDir();
// The user's own data folder for the program ($XDG_DATA_HOME/vorlane); empty when the
// system names none.
QString userDataDir();

} // namespace vorlane
