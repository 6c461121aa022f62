// The search dialog's panel: a text field over the list of words that begin
// with the typed text, and the list of articles that contain the chosen
// word over the "Ok" and "Cancel" buttons. SDLSystem::search runs its loop.
#ifndef MIRANDOL_SEARCH_PANEL_H
#define MIRANDOL_SEARCH_PANEL_H

#include "GUI/GUI.h"

#include <string>

// Sets a flag when a click ends on its button.
class BoolButton : public SDLGUI::ButtonListener {
public:
    explicit BoolButton(bool *flag) : flag(flag) {}
    void action(int id) override;

private:
    bool *flag;   // not owned
};

namespace SDLGUI {

class SearchPanel : public Panel {
public:
    // The lists show the two vectors, which stay the caller's.
    SearchPanel(Vector *words, Vector *articles, int x, int y, int width, int height);

    // ok and cancel false, the SDL pointer shown.
    void open();
    // The pointer hidden, the text field emptied.
    void close();
    bool isDone() const { return ok || cancel; }
    // Whether the text differs from the last text, which then becomes it.
    bool textChanged();
    // A malloc'd copy of the text field's text.
    char *getText();
    // Both lists back to their first row with no selection.
    void clearLists();
    // Whether the word list's selected item differs from the last selected word.
    bool wordSelectionChanged();
    // Remembers the word list's selected item and returns it (null: none).
    const char *updateWordSelection();
    // The selected word and article entry; null when none or cancelled.
    const char *getWordSelection();
    const char *getEntrySelection();
    // After a new word is chosen, the article list starts without a choice.
    void clearArticleSelection() { articleList.clear(); }

    Textfield textField;
    List wordList;
    List articleList;
    std::string lastText;
    std::string lastWord;
    bool hasLastWord = false;
    bool ok = false;
    bool cancel = false;

    Button okButton;
    Button cancelButton;

private:
    Panel top;
    Panel bottom;
    Panel buttons;
    BoolButton okListener;
    BoolButton cancelListener;
};

} // namespace SDLGUI

#endif
