#pragma once

// File > Merge Taal: another Taal file's bols inserted at the selection (in
// front of the first selected bol, else at the end) as one undoable insert,
// as Paste inserts. The Taal browser's Insert uses the same operation.

#include <QString>

#include <functional>

class QWidget;

namespace lorvanta {

class CTaalEditor;
class MessageSink;

// A Taal file to merge; empty when the user cancels.
using TaalFileChooser = std::function<QString(QWidget* parent)>;

// Reads the file as Open reads it, with Open's messages. A file that cannot
// be read, holds no bols, or whose bols would take the Taal beyond its limits
// (said in a message) changes nothing. Returns the number of bols
// inserted.
int MergeTaalFile(CTaalEditor& editor, MessageSink& sink, const QString& path);

// Asks for the file, then merges it.
int MergeTaal(CTaalEditor& editor, MessageSink& sink, const TaalFileChooser& choose,
              QWidget* parent = nullptr);

} // namespace lorvanta
