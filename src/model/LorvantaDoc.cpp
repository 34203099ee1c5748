#include "model/LorvantaDoc.h"

namespace lorvanta {

void CLorvantaDoc::InsertBol(int after, const CBol2* source) {
    auto bol = std::make_unique<CBol2>("Silence", static_cast<std::uint32_t>(after + 1), 1.0f);
    if (source != nullptr)
        *bol = *source;
    m_taal.Insert(after, std::move(bol));
    m_empty = false;
    m_modified = true;
}

bool CLorvantaDoc::DeleteBol(int position, CBol2* copyOut) {
    std::unique_ptr<CBol2> removed = m_taal.Remove(position);
    if (!removed)
        return false;
    if (m_taal.IsEmpty())
        m_empty = true;
    if (copyOut != nullptr)
        *copyOut = *removed;
    m_modified = true;
    return true;
}

void CLorvantaDoc::DeleteContents() {
    m_empty = true;
    m_header = CFileHeader{};
    m_params.Reset();
    m_taal.RemoveAll();
    m_modified = false;
}

bool CLorvantaDoc::OnNewDocument() {
    DeleteContents();
    m_taal.Assign(CTaal(kNewTaalName));
    m_empty = true;
    m_params.Reset();
    m_pathName.clear();
    m_title.clear();
    return true;
}

} // namespace lorvanta
