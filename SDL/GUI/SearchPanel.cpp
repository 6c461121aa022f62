// The search dialog's panel and its operations.
#include "GUI/SearchPanel.h"

#include <string.h>

void BoolButton::action(int id)
{
    if (id == 1)
        *flag = true;
}

namespace SDLGUI {

SearchPanel::SearchPanel(Vector *words, Vector *articles, int x, int y, int width, int height)
    : textField(""), wordList(words), articleList(articles), okButton("Ok"),
      cancelButton("Cancel"), okListener(&ok), cancelListener(&cancel)
{
    setLayout(new BoxLayout(2, 1));
    top.setLayout(new BorderLayout());
    top.addWithConstraint(&textField, BorderLayout::NORTH);
    top.addWithConstraint(&wordList, BorderLayout::CENTER);
    bottom.setLayout(new BorderLayout());
    bottom.addWithConstraint(&articleList, BorderLayout::CENTER);
    buttons.setLayout(new BoxLayout(1, 2));
    buttons.add(&okButton);
    buttons.add(&cancelButton);
    bottom.addWithConstraint(&buttons, BorderLayout::SOUTH);
    okButton.setListener(&okListener);
    cancelButton.setListener(&cancelListener);
    add(&top);
    add(&bottom);
    setBounds(x, y, width, height);
}

void SearchPanel::open()
{
    ok = cancel = false;
    // Typing goes to the text field at once.
    textField.setFocus(true);
    SDL_ShowCursor(1);
}

void SearchPanel::close()
{
    SDL_ShowCursor(0);
    textField.setText("");
}

bool SearchPanel::textChanged()
{
    if (textField.text() == lastText)
        return false;
    lastText = textField.text();
    return true;
}

char *SearchPanel::getText()
{
    return textField.getText();
}

void SearchPanel::clearLists()
{
    wordList.clear();
    articleList.clear();
}

bool SearchPanel::wordSelectionChanged()
{
    const char *word = wordList.getSelectedItem();
    if (!word || !hasLastWord)
        return (word != nullptr) != hasLastWord;
    return strcmp(word, lastWord.c_str()) != 0;
}

const char *SearchPanel::updateWordSelection()
{
    const char *word = wordList.getSelectedItem();
    hasLastWord = word != nullptr;
    lastWord = word ? word : "";
    return word;
}

const char *SearchPanel::getWordSelection()
{
    const char *word = updateWordSelection();
    return cancel ? nullptr : word;
}

const char *SearchPanel::getEntrySelection()
{
    return cancel ? nullptr : articleList.getSelectedItem();
}

} // namespace SDLGUI
