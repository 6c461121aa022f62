// The history of visited articles with its ring of kept Articles.
#ifndef MIRANDOL_HISTORY_H
#define MIRANDOL_HISTORY_H

class Article;

class History {
public:
    bool open(const char *name);
    bool back();
    bool reload();
    void clear();
    // Whether the current entry has an older entry to go back to.
    bool hasOlder() const;
};

extern History history;

#endif
