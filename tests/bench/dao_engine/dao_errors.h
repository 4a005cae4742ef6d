// The failures the DAO stand-in reports, with DAO 3.6's numbers and words.
#pragma once

#include <string>

#include "dispatch_object.h"

namespace dao {

inline DaoError could_not_find_file(const std::wstring& path) {
    return {3024, L"Could not find file '" + path + L"'."};
}
inline DaoError disk_or_network_error() { return {3043, L"Disk or network error."}; }
inline DaoError not_a_valid_path(const std::wstring& path) {
    return {3044, L"'" + path +
                      L"' is not a valid path. Make sure that the path name is spelled correctly and that you are "
                      L"connected to the server on which the file resides."};
}
inline DaoError cannot_open_file(const std::wstring& path) {
    return {3051, L"The Microsoft Jet database engine cannot open the file '" + path +
                      L"'. It is already opened exclusively by another user, or you need permission to view its "
                      L"data."};
}
inline DaoError cannot_find_input_table(const std::wstring& name) {
    return {3078, L"The Microsoft Jet database engine cannot find the input table or query '" + name +
                      L"'. Make sure it exists and that its name is spelled correctly."};
}
inline DaoError operation_not_supported() { return {3251, L"Operation is not supported for this type of object."}; }
inline DaoError item_not_found() { return {3265, L"Item not found in this collection."}; }
inline DaoError unrecognized_format(const std::wstring& path) {
    return {3343, L"Unrecognized database format '" + path + L"'."};
}
inline DaoError object_invalid() { return {3420, L"Object invalid or no longer set."}; }

}  // namespace dao
