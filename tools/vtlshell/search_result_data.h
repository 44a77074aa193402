#pragma once
// The data object a search result hands to context-menu handlers: files from several
// folders, offered as a dropped-file list of full paths. The platform here renders only
// single-folder selections correctly, so vtlshell makes this one itself.

#include <objidl.h>

#include <string>
#include <vector>

#include "runtime/com_ptr.h"

ComPtr<IDataObject> MakeSearchResultData(std::vector<std::wstring> paths);
