// SDLSystem: the search dialog (the System operation search) over the
// core's word index, and the index build behind indexing_progress.
#include "SDL_System.h"

#include "Assert.h"
#include "Browser.h"
#include "GUI/SearchPanel.h"
#include "SDL_Hooks.h"
#include "SearchIndex.h"
#include "Vector/Vector.h"

#include <SDL.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

static const char *SOURCE = "../SDL/SDL_System.cpp";

static const int kPanelWidth = 200;
static const int kPanelHeight = 300;

void SDLSystem_buildSearchIndex()
{
    g_browser.buildSearchIndex();
}

void SDLSystem_placeSearchPanel(SDLSystem *system, int width, int height)
{
    // Centred, and never larger than the display: on a low one the lists
    // give up rows, so the text field and both buttons stay on the screen.
    int w = width < kPanelWidth ? (width > 0 ? width : 0) : kPanelWidth;
    int h = height < kPanelHeight ? (height > 0 ? height : 0) : kPanelHeight;
    int x = (width - w) / 2, y = (height - h) / 2;
    if (!system->searchPanel)
        system->searchPanel = new SDLGUI::SearchPanel(system->searchWords, system->searchArticles,
                                                      x, y, w, h);
    else
        system->searchPanel->setBounds(x, y, w, h);
}

// Frees every string of a list and empties it.
static void freeStrings(Vector *list)
{
    for (int i = 0; i < Vector_size(list); i++)
        free(Vector_get(list, i));
    Vector_clear(list);
}

void SDLSystem_releaseSearch(SDLSystem *system)
{
    delete system->searchPanel;
    system->searchPanel = nullptr;
    for (Vector **list : {&system->searchWords, &system->searchArticles}) {
        if (*list) {
            freeStrings(*list);
            Vector_delete(*list);
        }
        *list = nullptr;
    }
}

char *SDLSystem::charsToString(const std::string &stack)
{
    return strdup(stack.c_str());
}

const SearchNode *SDLSystem::findSearchNode(const SearchNode *node, const char *prefix)
{
    return SearchIndex::find(node, prefix);
}

// A malloc'd copy of the first length bytes of the word.
static char *wordCopy(const char *word, size_t length)
{
    char *copy = (char *)malloc(length + 1);
    if (copy) {
        memcpy(copy, word, length);
        copy[length] = '\0';
    }
    return copy;
}

void SDLSystem::collectWords(const SearchNode *tree, std::string &stack, Vector *list)
{
    M2_ASSERT(tree != NULL, SOURCE);
    // One buffer holds the word so far: no word reaches deeper than
    // MAX_WORD characters below any node. The walk goes down lo links
    // leaving each node behind for its own turn; at its turn a node gives
    // its word, then its eq subtree is walked, leaving its hi subtree behind
    // to be walked after it (an in-order walk with one entry per node).
    size_t base = stack.size();
    std::string word = stack;
    word.resize(base + SearchIndex::MAX_WORD + 1);
    struct Pending {
        const SearchNode *node;
        uint32_t depth;
        bool subtree;   // a whole subtree still to walk, not a node's turn
    };
    std::vector<Pending> pending(2 * SearchIndex::MAX_WORD);
    size_t top = 0;
    const SearchNode *node = tree;
    uint32_t depth = (uint32_t)base;
    for (;;) {
        for (; node; node = node->lo) {
            if (top == pending.size())
                pending.resize(2 * top);
            pending[top++] = {node, depth, false};
        }
        if (top == 0)
            break;
        Pending p = pending[--top];
        node = p.node;
        depth = p.depth;
        if (p.subtree)
            continue;
        word[depth] = (char)node->ch;
        // A word found only in noscan articles leads nowhere: not offered.
        if (node->isWord && node->offered)
            Vector_add(list, wordCopy(word.data(), depth + 1));
        if (node->eq && depth + 1 < word.size()) {
            if (node->hi) {
                if (top == pending.size())
                    pending.resize(2 * top);
                pending[top++] = {node->hi, depth, true};
            }
            node = node->eq;
            depth++;
        } else {
            node = node->hi;
        }
    }
}

void SDLSystem::listCompletions(const SearchNode *root, char *prefix, Vector *list)
{
    if (!root || !prefix)
        return;
    searchLowerText(prefix);
    std::string stack;
    if (!*prefix) {
        collectWords(root, stack, list);
        return;
    }
    const SearchNode *node = findSearchNode(root, prefix);
    if (!node)
        return;
    if (node->isWord && node->offered)
        Vector_add(list, strdup(prefix));
    if (node->eq) {
        stack = prefix;
        collectWords(node->eq, stack, list);
    }
}

void SDLSystem::listCompletions(const SearchIndex *index, char *prefix, Vector *list)
{
    if (!index || !index->ok || !prefix)
        return;
    if (!index->isLaidOut()) {
        listCompletions(index->root, prefix, list);
        return;
    }
    searchLowerText(prefix);
    const SearchNode *subtree = index->root;
    char word[SearchIndex::MAX_WORD + 1];
    if (*prefix) {
        const SearchNode *node = findSearchNode(index->root, prefix);
        if (!node)
            return;
        if (node->isWord && node->offered)
            Vector_add(list, strdup(prefix));
        subtree = node->eq;
        // The node ends a prefix of a word, so the prefix is no longer than one.
        memcpy(word, prefix, (size_t)node->depth + 1);
    }
    if (!subtree)
        return;
    index->forEachLaidOut(subtree, [&](const SearchNode *n) {
        word[n->depth] = (char)n->ch;
        // A word found only in noscan articles leads nowhere: not offered.
        if (n->isWord && n->offered)
            Vector_add(list, wordCopy(word, (size_t)n->depth + 1));
    });
}

void SDLSystem::listArticles(const SearchIndex *index, const char *word, Vector *list)
{
    if (!index || !index->ok)
        return;
    const SearchNode *node = findSearchNode(index->root, word);
    if (!node || !node->isWord)
        return;
    uint32_t last = index->count < index->articleCount ? index->count : index->articleCount;
    index->forEachArticle(node, [&](uint32_t i) {
        const char *name = i < last ? index->names[i] : nullptr;
        // A noscan article has no name: nothing to open, nothing to list.
        if (!name)
            return;
        const char *shown = index->titles[i] && *index->titles[i] ? index->titles[i] : name;
        size_t a = strlen(shown), b = strlen(name);
        char *entry = (char *)malloc(a + b + 4);
        if (!entry)
            return;
        memcpy(entry, shown, a);
        entry[a] = '\0';
        memcpy(entry + a + 1, name, b + 1);
        Vector_add(list, entry);
    });
}

static char *newCopy(const char *text)
{
    size_t n = strlen(text);
    char *copy = new char[n + 1];
    memcpy(copy, text, n + 1);
    return copy;
}

bool SDLSystem::search(SearchIndex *index, char *&word, char *&fileName)
{
    logf("search\n");
    if (!searchPanel && screen)
        SDLSystem_placeSearchPanel(this, screen->w, screen->h);
    SDLGUI::SearchPanel *panel = searchPanel;
    if (!index || !index->ok || !panel || !screen)
        return false;
    SDL_mutexP(queueMutex);

    freeStrings(searchWords);
    char *all = strdup("");
    listCompletions(index, all, searchWords);
    free(all);
    panel->clearLists();
    panel->open();

    // Painted again only after an event; between events the loop sleeps
    // instead of spinning a processor.
    bool changed = true;
    while (!panel->isDone()) {
        // A quit waiting for the queue ends the dialog as Cancel would.
        if (quitRequested()) {
            panel->cancel = true;
            break;
        }
        if (changed) {
            panel->paint(screen, 0, 0);
            SDL_Flip(screen);
        }
        SDL_Event event;
        changed = SDL_PollEvent(&event) != 0;
        if (changed)
            panel->handleEvent(&event, 0, 0);
        else
            SDL_Delay(10);
        if (panel->textChanged()) {
            freeStrings(searchWords);
            char *text = panel->getText();
            listCompletions(index, text, searchWords);
            free(text);
            panel->clearLists();
        } else if (panel->wordSelectionChanged()) {
            const char *chosen = panel->updateWordSelection();
            if (chosen) {
                freeStrings(searchArticles);
                listArticles(index, chosen, searchArticles);
                panel->clearArticleSelection();
            }
        }
    }

    // Both choices are copied before the lists let go of their strings.
    const char *w = panel->getWordSelection();
    const char *a = panel->getEntrySelection();
    bool chosen = w && a;
    std::string chosenWord = chosen ? w : "";
    std::string chosenFile = chosen ? a + strlen(a) + 1 : "";

    SDL_Rect area;
    panel->getBounds(&area);
    if (backBuffer) {
        SDL_Rect to = area;
        SDL_BlitSurface(backBuffer, &area, screen, &to);
    }
    SDL_Flip(screen);

    freeStrings(searchArticles);
    panel->close();
    showSystemPointer();   // the dialog hid SDL's pointer; a theme without pictures needs it
    SDL_mutexV(queueMutex);

    if (!chosen)
        return false;
    word = newCopy(chosenWord.c_str());
    fileName = newCopy(chosenFile.c_str());
    return true;
}
