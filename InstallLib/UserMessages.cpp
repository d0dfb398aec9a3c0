#include "UserMessages.h"

#ifdef KV_TEST_SEAMS
#include "NoCrtLib/TextConvert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Test builds only: with KV_MESSAGEBOX_LOG set, a box is not shown; its type, caption and text
// are appended to that file as one record, and the answer is the next number of the
// comma-separated KV_MESSAGEBOX_ANSWERS (IDOK when the list is used up).
bool AnswerFromTest(wstrview text, wstrview caption, UINT type, int& answer)
{
    const char* logPath = std::getenv("KV_MESSAGEBOX_LOG");
    if (!logPath || !*logPath)
        return false;
    static int boxesShown = 0;
    const char* answers = std::getenv("KV_MESSAGEBOX_ANSWERS");
    answer = IDOK;
    for (int index = 0; answers && *answers; ++index) {
        if (index == boxesShown) {
            answer = std::atoi(answers);
            break;
        }
        answers = std::strchr(answers, ',');
        if (answers)
            ++answers;
    }
    ++boxesShown;
    if (FILE* log = std::fopen(logPath, "ab")) {
        astring_nc captionText = WideToNarrow(caption, CP_UTF8);
        astring_nc bodyText = WideToNarrow(text, CP_UTF8);
        std::fprintf(log, "type=0x%X\ncaption=%s\ntext=%s\n--\n", type, captionText.c_str(), bodyText.c_str());
        std::fclose(log);
    }
    return true;
}

}  // namespace
#endif

int ShowMessageBox(wstrview text, wstrview caption, UINT type)
{
#ifdef KV_TEST_SEAMS
    int answer;
    if (AnswerFromTest(text, caption, type, answer))
        return answer;
#endif
    TerminatedText terminatedText(text);
    TerminatedText terminatedCaption(caption);
    return MessageBoxW(nullptr, terminatedText, terminatedCaption, type);
}
