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

static const char *SOURCE = "../SDL/SDL_System.cpp";

static const int kPanelWidth = 200;
static const int kPanelHeight = 300;

void SDLSystem_buildSearchIndex()
{
    g_browser.buildSearchIndex();
}

void SDLSystem_placeSearchPanel(SDLSystem *system, int width, int height)
{
    int x = (width - kPanelWidth) / 2, y = (height - kPanelHeight) / 2;
    if (!system->searchPanel)
        system->searchPanel = new SDLGUI::SearchPanel(system->searchWords, system->searchArticles,
                                                      x, y, kPanelWidth, kPanelHeight);
    else
        system->searchPanel->setBounds(x, y, kPanelWidth, kPanelHeight);
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

void SDLSystem::collectWords(const SearchNode *tree, std::string &stack, Vector *list)
{
    M2_ASSERT(tree != NULL, SOURCE);
    for (const SearchNode *node = tree; node; node = node->hi) {
        if (node->lo)
            collectWords(node->lo, stack, list);
        stack.push_back((char)node->ch);
        if (node->isWord)
            Vector_add(list, charsToString(stack));
        if (node->eq)
            collectWords(node->eq, stack, list);
        stack.pop_back();
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
    if (node->isWord)
        Vector_add(list, strdup(prefix));
    if (node->eq) {
        stack = prefix;
        collectWords(node->eq, stack, list);
    }
}

void SDLSystem::listArticles(const SearchIndex *index, const char *word, Vector *list)
{
    if (!index || !index->ok)
        return;
    const SearchNode *node = findSearchNode(index->root, word);
    if (!node || !node->isWord)
        return;
    uint32_t last = index->count < index->articleCount ? index->count : index->articleCount;
    for (uint32_t i = 0; i < last; i++) {
        const char *name = index->names[i];
        // A noscan article has no name: nothing to open, nothing to list.
        if (!name || !node->hasArticle(i, index->articleCount))
            continue;
        const char *shown = index->titles[i] && *index->titles[i] ? index->titles[i] : name;
        size_t a = strlen(shown), b = strlen(name);
        char *entry = (char *)malloc(a + b + 4);
        if (!entry)
            continue;
        memcpy(entry, shown, a);
        entry[a] = '\0';
        memcpy(entry + a + 1, name, b + 1);
        Vector_add(list, entry);
    }
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
    SDLGUI::SearchPanel *panel = searchPanel;
    if (!index || !index->ok || !panel || !screen)
        return false;
    SDL_mutexP(queueMutex);

    freeStrings(searchWords);
    char *all = strdup("");
    listCompletions(index->root, all, searchWords);
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
            listCompletions(index->root, text, searchWords);
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
