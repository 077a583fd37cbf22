// A dialog backend for tests: records requests, replays queued answers.
#include "dialogs/ScriptedDialogBackend.h"

namespace velquin::dialogs {
namespace {

template <typename Answer> Answer nextAnswer(std::deque<Answer>& answers, Answer cancelled)
{
    if (answers.empty())
        return cancelled;
    Answer answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

std::size_t ScriptedDialogBackend::dialogsShown() const
{
    return m_openRequests.size() + m_saveRequests.size() + m_folderRequests.size() + m_colorRequests.size() +
           m_fontRequests.size() + m_printRequests.size() + m_printerPropertiesRequests.size();
}

std::optional<std::string> ScriptedDialogBackend::openFile(const FileDialogRequest& request)
{
    m_openRequests.push_back(request);
    return nextAnswer(m_openAnswers, std::optional<std::string>());
}

std::optional<std::string> ScriptedDialogBackend::saveFile(const FileDialogRequest& request)
{
    m_saveRequests.push_back(request);
    return nextAnswer(m_saveAnswers, std::optional<std::string>());
}

std::optional<std::string> ScriptedDialogBackend::browseFolder(const FolderDialogRequest& request)
{
    m_folderRequests.push_back(request);
    return nextAnswer(m_folderAnswers, std::optional<std::string>());
}

std::optional<std::int32_t> ScriptedDialogBackend::chooseColor(const ColorDialogRequest& request)
{
    m_colorRequests.push_back(request);
    return nextAnswer(m_colorAnswers, std::optional<std::int32_t>());
}

std::optional<FontDialogAnswer> ScriptedDialogBackend::chooseFont(const FontDialogRequest& request)
{
    m_fontRequests.push_back(request);
    return nextAnswer(m_fontAnswers, std::optional<FontDialogAnswer>());
}

bool ScriptedDialogBackend::print(const PrintDialogRequest& request)
{
    m_printRequests.push_back(request);
    return nextAnswer(m_printAnswers, false);
}

bool ScriptedDialogBackend::printerProperties(QWidget* /*owner*/, const std::string& printerName)
{
    m_printerPropertiesRequests.push_back(printerName);
    return nextAnswer(m_printerPropertiesAnswers, false);
}

} // namespace velquin::dialogs
