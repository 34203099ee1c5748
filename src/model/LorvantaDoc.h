#pragma once

#include "model/Taal.h"

#include <cstdint>
#include <limits>
#include <string>

namespace lorvanta {

// The document: one Taal with its file header and parameters, and the state
// the program keeps about it (empty, modified, where it lives).
class CLorvantaDoc {
public:
    CLorvantaDoc() = default;

    // Inserts a copy of source (or a silent one-beat bol) after the position;
    // -1 inserts at the head, a position past the end appends.
    void InsertBol(int after, const CBol2* source = nullptr);
    // Removes the bol at the position, copying it out first when asked.
    // Returns false when there is no bol there.
    bool DeleteBol(int position, CBol2* copyOut = nullptr);
    // Empties the document before it is filled anew; the Taal's name stays.
    void DeleteContents();
    // A fresh "New Taal".
    bool OnNewDocument();

    CTaal& Taal() { return m_taal; }
    const CTaal& Taal() const { return m_taal; }
    CFileHeader& Header() { return m_header; }
    const CFileHeader& Header() const { return m_header; }
    CTaalParams& Params() { return m_params; }
    const CTaalParams& Params() const { return m_params; }
    float DefaultTempo() const { return m_params.defaultTempo; }

    bool IsEmpty() const { return m_empty; }
    void SetEmpty(bool empty) { m_empty = empty; }
    bool IsModified() const { return m_modified; }
    // False: the document is what its file holds (just saved or opened), so
    // the undo position now becomes the saved one.
    void SetModified(bool modified = true) {
        m_modified = modified;
        if (!modified)
            m_savedPosition = m_undoPosition;
    }
    // The undo history moved (an edit, Undo, Redo): modified exactly when
    // the position differs from the one at the last save or open.
    void SetUndoPosition(std::uint64_t position) {
        m_undoPosition = position;
        m_modified = position != m_savedPosition;
    }
    // A history begins (nothing to undo) where the document stands.
    void StartUndoHistory(std::uint64_t position) { m_undoPosition = m_savedPosition = position; }
    // The file holds what no undo position gives back (a Taal repaired while
    // reading): modified until saved.
    void SetModifiedUntilSaved() {
        m_savedPosition = kNoUndoPosition;
        m_modified = true;
    }
    const std::string& PathName() const { return m_pathName; }
    void SetPathName(std::string path) { m_pathName = std::move(path); }
    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }

private:
    CTaal m_taal;
    CFileHeader m_header;
    CTaalParams m_params;
    bool m_empty = true;
    bool m_modified = false;
    static constexpr std::uint64_t kNoUndoPosition = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t m_undoPosition = 0;
    std::uint64_t m_savedPosition = 0;
    std::string m_pathName;
    std::string m_title;
};

} // namespace lorvanta
