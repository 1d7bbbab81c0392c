#include "app_name.h"

#include <wx/filename.h>

wxString Text(const std::string& bytes)
{
    wxString text(bytes.c_str(), *wxConvFileName);
    if (!text.empty() || bytes.empty())
        return text;
    return wxString(bytes.c_str(), wxConvISO8859_1);
}

wxString AppNameOf(const std::string& argv0)
{
    return wxFileName(Text(argv0)).GetName();
}
