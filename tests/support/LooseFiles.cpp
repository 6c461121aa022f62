#include "LooseFiles.h"

#include <sys/stat.h>

#include <cstring>

#include "File.h"
#include "MagazineConfig.h"
#include "SearchIndex.h"
#include "TestDirs.h"
#include "Tree.h"
#include "containr.h"

File *addLooseFile(const std::string &name, const std::vector<uint8_t> &bytes)
{
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        mkdir(name.substr(0, slash).c_str(), 0755);
    if (!writeFile(name, bytes))
        return nullptr;
    File *f = addTreeFile(name.c_str());
    f->diskName.set(name.c_str());
    f->fileType = fileTypeFromName(name.c_str());
    f->loose = true;
    return f;
}

File *addTreeFile(const char *name)
{
    File *f = new File();
    f->name.set(name);
    Tree *root = g_container.root;
    Tree::insertInto(root, f);
    g_container.root = static_cast<File *>(root);
    return f;
}

void dropLooseFiles()
{
    delete g_container.root;
    g_container.root = nullptr;
    g_container.lastFound = nullptr;
    g_container.missingPictures.clear();
}

void parseMagazineConfig(const std::string &text)
{
    g_magazine_config.parse(reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

File *addLooseFile(const std::string &name, const std::string &text)
{
    return addLooseFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

void indexArticle(SearchIndex &index, const char *name, const std::string &text)
{
    uint8_t *buffer = new uint8_t[text.size() + 2]();
    memcpy(buffer, text.data(), text.size());
    index.addArticle(name, buffer, (uint32_t)text.size());
}
