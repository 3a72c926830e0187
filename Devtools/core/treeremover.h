// Deletes a file tree without ever following a link: each folder is opened
// relative to its parent with O_NOFOLLOW|O_DIRECTORY and emptied with
// unlinkat, so a link anywhere in the tree (the top included) is removed as a
// link and whatever it points to stays untouched. Folders of another file
// system (mount points) are not entered: the removal stops there with an
// error.
//
// Depth costs no stack and a bounded number of descriptors: folders far above
// the one being emptied are closed and reopened through "..", checked by
// device and inode, on the way back up.
#pragma once

#include <QString>

namespace TreeRemover {

// Removes whatever is at `path` (a file, a link or a whole folder tree).
// Nothing there counts as success. On failure part of the tree may be gone.
bool remove(const QString &path, QString *error = nullptr);

} // namespace TreeRemover
