// The checker's report: the run step by step, then the findings, as text or as one JSON document.

#include "check.h"

#include <stdarg.h>

#define FINDING_LIMIT 200
#define WIDE_TEXT_SIZE 2048

struct Finding {
    Severity severity;
    int line; // 0: about the list as a whole; -1: about the medium folder
    int step;
    const char *code;
    char message[MESSAGE_SIZE];
};

FILE *ReportOut;
static Finding Findings[FINDING_LIMIT];
static int FindingTotal;
static int Counts[2];
static BOOL Json;
static BOOL FirstStep, FirstField, FirstWait;
static char Medium[CHECK_PATH_SIZE];
static int CodeSteps[SETUP_SLOTS];
static int CodeStepCount;

void AddFinding(Severity severity, int line, int step, const char *code, const char *format, ...)
{
    Counts[severity]++;
    if (FindingTotal == FINDING_LIMIT)
        return; // counted; EndReport says how many are not listed
    Finding *finding = &Findings[FindingTotal++];
    finding->severity = severity;
    finding->line = line;
    finding->step = step;
    finding->code = code;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(finding->message, sizeof(finding->message), format, arguments);
    va_end(arguments);
}

// JSON text is UTF-8; ours is in the system's ANSI code page.
static void WriteJsonString(const char *text)
{
    WCHAR wide[WIDE_TEXT_SIZE];
    int count =
        text[0] == '\0' ? 1 : MultiByteToWideChar(CP_ACP, 0, text, -1, wide, WIDE_TEXT_SIZE);
    fputc('"', ReportOut);
    for (int i = 0; i < count - 1; i++) {
        unsigned c = wide[i];
        if (c == '"' || c == '\\')
            fprintf(ReportOut, "\\%c", (char)c);
        else if (c < 0x20)
            fprintf(ReportOut, "\\u%04x", c);
        else if (c < 0x80)
            fputc((int)c, ReportOut);
        else if (c < 0x800)
            fprintf(ReportOut, "%c%c", 0xC0 | (c >> 6), 0x80 | (c & 0x3F));
        else
            fprintf(ReportOut, "%c%c%c", 0xE0 | (c >> 12), 0x80 | ((c >> 6) & 0x3F),
                    0x80 | (c & 0x3F));
    }
    fputc('"', ReportOut);
}

static void JsonMember(const char *name)
{
    fprintf(ReportOut, "%s\"%s\": ", FirstField ? "" : ", ", name);
    FirstField = FALSE;
}

void BeginFindings(const CheckRequest *request)
{
    FindingTotal = 0;
    Counts[0] = Counts[1] = 0;
    Json = request->json;
    FirstStep = TRUE;
    CodeStepCount = 0;
    if (ReportOut == NULL)
        ReportOut = stdout;
}

// The launcher whose run this check shows: the one of this checker's own width, since a 32-bit
// checker on 64-bit Windows hands the check on.
static const char *const SpokenFor = sizeof(void *) == 8 ? SIBLING_NAME : LAUNCHER_NAME;
static const char *const Windows = sizeof(void *) == 8 ? "64-bit" : "32-bit";

void BeginReport(const CheckRequest *request, const char *medium)
{
    CopyText(Medium, sizeof(Medium), medium);
    const char *run = request->silent ? "silent" : "normal";
    if (Json) {
        FirstField = TRUE;
        fputc('{', ReportOut);
        JsonMember("launcher");
        WriteJsonString(SpokenFor);
        JsonMember("windows");
        WriteJsonString(Windows);
        JsonMember("medium");
        WriteJsonString(medium);
        JsonMember("run");
        WriteJsonString(run);
        JsonMember("section");
        WriteJsonString(SetupListStatus.section);
        fprintf(ReportOut, ", \"steps\": [");
        return;
    }
    fprintf(ReportOut, "For     %s on %s Windows\nMedium  %s\nRun     %s, section [%s] of %s\n\n",
            SpokenFor, Windows, medium, run, SetupListStatus.section, SETUP_LIST_NAME);
}

void ReportStepBegin(int number, int line, const char *action, const char *summary)
{
    if (Json) {
        fprintf(ReportOut, "%s\n  {", FirstStep ? "" : ",");
        FirstField = TRUE;
        JsonMember("step");
        fprintf(ReportOut, "%d", number);
        JsonMember("line");
        fprintf(ReportOut, "%d", line);
        JsonMember("action");
        WriteJsonString(action);
    } else {
        fprintf(ReportOut, "Step %d (%s:%d): %s\n", number, SETUP_LIST_NAME, line, summary);
    }
    FirstStep = FALSE;
    FirstWait = TRUE;
}

void ReportField(const char *name, const char *label, const char *value, const char *note)
{
    if (Json) {
        JsonMember(name);
        WriteJsonString(value);
    } else {
        fprintf(ReportOut, "    %-11s %s%s\n", label, note != NULL ? note : value,
                note != NULL || value[0] != '\0' ? "" : "(empty)");
    }
}

void ReportFlag(const char *name, const char *label, BOOL value)
{
    if (Json) {
        JsonMember(name);
        fputs(value ? "true" : "false", ReportOut);
    } else if (value) {
        fprintf(ReportOut, "    %-11s %s\n", label, "yes");
    }
}

void ReportWait(const char *name, const char *rule)
{
    if (Json) {
        if (FirstWait)
            JsonMember("waits");
        fprintf(ReportOut, "%s{\"name\": ", FirstWait ? "[" : ", ");
        WriteJsonString(name);
        fputs(", \"rule\": ", ReportOut);
        WriteJsonString(rule);
        fputc('}', ReportOut);
    } else {
        fprintf(ReportOut, "    %-11s %s (%s)\n", FirstWait ? "waits for" : "", name, rule);
    }
    FirstWait = FALSE;
}

void ReportExitRules(void)
{
    char line[MESSAGE_SIZE] = "";
    const char *const rules[] = {"[" EXIT_CODES_SECTION "]", "default"};
    if (Json) {
        JsonMember("exitCodes");
        fputc('[', ReportOut);
    }
    BOOL first = TRUE, firstJson = TRUE;
    for (int pass = 0; pass < 2; pass++) {
        const ExitRule *rule = pass == 0 ? Plan.exitRules : DefaultExitRules;
        const ExitRule *end = rule + (pass == 0 ? Plan.exitRuleCount : DEFAULT_EXIT_RULES);
        for (; rule < end; rule++) {
            BOOL declared;
            // A declared code's default does not hold.
            if (pass == 1 && (MeaningOfExitCode(rule->code, &declared), declared))
                continue;
            const char *meaning = ExitMeaningNames[rule->meaning];
            size_t used = strlen(line);
            if (Json)
                fprintf(ReportOut, "%s{\"code\": %lu, \"meaning\": \"%s\", \"rule\": \"%s\"}",
                        firstJson ? "" : ", ", (unsigned long)rule->code, meaning, rules[pass]);
            else
                snprintf(line + used, sizeof(line) - used, "%s%lu %s", first ? "" : ", ",
                         (unsigned long)rule->code, meaning);
            first = firstJson = FALSE;
        }
        if (pass == 0 && !first && !Json)
            snprintf(line + strlen(line), sizeof(line) - strlen(line), " (%s); ", rules[0]);
        first = TRUE;
    }
    if (Json)
        fputs("], \"otherExitCodes\": \"failure\"", ReportOut);
    else
        fprintf(ReportOut, "    %-11s %s, any other failure (%s)\n", "exit codes", line, rules[1]);
}

void ReportExitCodeStep(int number)
{
    if (CodeStepCount < SETUP_SLOTS)
        CodeSteps[CodeStepCount++] = number;
}

void ReportStepEnd(void)
{
    if (Json)
        fputs(FirstWait ? "}" : "]}", ReportOut);
    else
        fputc('\n', ReportOut);
}

void ReportEnd(const char *reason, BOOL restart, int runExitCode, BOOL asked)
{
    if (Json) {
        fprintf(ReportOut, "%s],\n\"end\": ", FirstStep ? "" : "\n");
        WriteJsonString(reason);
        fprintf(ReportOut, ", \"restart\": %s, \"runExitCode\": %d, \"runExitCodeSteps\": [",
                restart ? "true" : "false", runExitCode);
        for (int i = 0; i < CodeStepCount; i++)
            fprintf(ReportOut, "%s%d", i == 0 ? "" : ", ", CodeSteps[i]);
        fputc(']', ReportOut);
        return;
    }
    fprintf(ReportOut, "End     %s\nRestart %s\n", reason,
            restart ? "asked for at the end of the run (restarts at once in a silent run)"
                    : "none asked for by the list (a driver may still ask for one)");
    fprintf(ReportOut, "Exit    %d as far as the medium tells%s", runExitCode,
            asked ? ", when the restart question is answered Yes (3010 when No)" : "");
    if (runExitCode == EXIT_INSTALL_FAILED || CodeStepCount == 0) {
        fputs(runExitCode == EXIT_INSTALL_FAILED ? ": a failure wins over any installer's code\n"
                                                 : "\n",
              ReportOut);
        return;
    }
    fputs("; the exit codes of the installers of step", ReportOut);
    for (int i = 0; i < CodeStepCount; i++)
        fprintf(ReportOut, "%s %d", i == 0 ? (CodeStepCount > 1 ? "s" : "") : ",", CodeSteps[i]);
    fputs(" can still change it, each under the exit codes shown for it\n", ReportOut);
}

static const char *SeverityName(Severity severity)
{
    return severity == FINDING_ERROR ? "error" : "warning";
}

static int ExitCode(void)
{
    return Counts[FINDING_ERROR] > 0     ? CHECK_ERRORS
           : Counts[FINDING_WARNING] > 0 ? CHECK_WARNINGS
                                         : CHECK_CLEAN;
}

// Findings come in the order of their lines; the medium's own come first.
static void SortFindings(int *order)
{
    for (int i = 0; i < FindingTotal; i++) {
        int j = i;
        while (j > 0 && Findings[order[j - 1]].line > Findings[i].line) {
            order[j] = order[j - 1];
            j--;
        }
        order[j] = i;
    }
}

static void WriteFindingText(const Finding *finding)
{
    if (finding->line < 0)
        fprintf(ReportOut, "%s: ", Medium);
    else if (finding->line == 0)
        fprintf(ReportOut, "%s: ", SETUP_LIST_NAME);
    else
        fprintf(ReportOut, "%s:%d: ", SETUP_LIST_NAME, finding->line);
    fprintf(ReportOut, "%s: %s: ", SeverityName(finding->severity), finding->code);
    if (finding->step > 0)
        fprintf(ReportOut, "step %d: ", finding->step);
    fprintf(ReportOut, "%s\n", finding->message);
}

static void WriteFindingJson(const Finding *finding, BOOL first)
{
    fprintf(ReportOut, "%s\n  {\"file\": ", first ? "" : ",");
    WriteJsonString(finding->line < 0 ? Medium : SETUP_LIST_NAME);
    fprintf(ReportOut,
            ", \"line\": %d, \"step\": %d, \"severity\": \"%s\", \"code\": \"%s\", "
            "\"message\": ",
            finding->line < 0 ? 0 : finding->line, finding->step, SeverityName(finding->severity),
            finding->code);
    WriteJsonString(finding->message);
    fputc('}', ReportOut);
}

int EndReport(void)
{
    int order[FINDING_LIMIT];
    SortFindings(order);
    int unlisted = Counts[0] + Counts[1] - FindingTotal;
    if (Json) {
        fprintf(ReportOut, ",\n\"findings\": [");
        for (int i = 0; i < FindingTotal; i++)
            WriteFindingJson(&Findings[order[i]], i == 0);
        fprintf(ReportOut,
                "%s], \"errors\": %d, \"warnings\": %d, \"unlisted\": %d, "
                "\"exitCode\": %d}\n",
                FindingTotal > 0 ? "\n" : "", Counts[FINDING_ERROR], Counts[FINDING_WARNING],
                unlisted, ExitCode());
        return ExitCode();
    }
    fputc('\n', ReportOut);
    for (int i = 0; i < FindingTotal; i++)
        WriteFindingText(&Findings[order[i]]);
    if (unlisted > 0)
        fprintf(ReportOut, "(%d more findings not listed)\n", unlisted);
    fprintf(ReportOut, "%d error%s, %d warning%s\n", Counts[FINDING_ERROR],
            Counts[FINDING_ERROR] == 1 ? "" : "s", Counts[FINDING_WARNING],
            Counts[FINDING_WARNING] == 1 ? "" : "s");
    return ExitCode();
}

void ReportUnreadable(const CheckRequest *request, const char *message)
{
    BeginFindings(request);
    if (Json) {
        fputs("{\"error\": ", ReportOut);
        WriteJsonString(message);
        fprintf(ReportOut, ", \"exitCode\": %d}\n", CHECK_UNREADABLE);
    } else {
        fprintf(ReportOut, "stagerun-check: %s\n", message);
    }
}
