// The lower-cased word index of every article of the magazine.
#ifndef MIRANDOL_SEARCH_INDEX_H
#define MIRANDOL_SEARCH_INDEX_H

class SearchIndex {
public:
    virtual ~SearchIndex() {}
};

#endif
