#include "LooseFiles.h"

#include <sys/stat.h>

#include "File.h"
#include "TestDirs.h"
#include "Tree.h"
#include "containr.h"

File *addLooseFile(const std::string &name, const std::vector<uint8_t> &bytes)
{
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        mkdir(name.substr(0, slash).c_str(), 0755);
    if (!writeFile(name, bytes))
        return nullptr;
    File *f = new File();
    f->name.set(name.c_str());
    f->diskName.set(name.c_str());
    f->fileType = fileTypeFromName(name.c_str());
    f->loose = true;
    Tree *root = g_container.root;
    Tree::insertInto(root, f);
    g_container.root = static_cast<File *>(root);
    return f;
}

File *addLooseFile(const std::string &name, const std::string &text)
{
    return addLooseFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}
