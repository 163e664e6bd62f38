#include "application.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "forms.h"
#include "styling.h"

using namespace nimbrel;

int main(int argc, char* argv[]) {
    // Keeps a window alive while one of its handlers runs, so hand-overs can discard windows
    // from inside their own event procedures.
    Application app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel"));
    QApplication::setWindowIcon(applicationIcon());
    // The program ends only when the settings window is closed (the registry then quits);
    // every window being hidden for a moment during a hand-over is no reason to stop.
    QApplication::setQuitOnLastWindowClosed(false);

    Forms::registerFactory(FormId::Form1, [] { return new Form1; });
    Forms::registerFactory(FormId::Form2, [] { return new Form2; });
    Forms::registerFactory(FormId::Form3, [] { return new Form3; });
    Forms::registerFactory(FormId::Form4, [] { return new Form4; });

    Forms::show(FormId::Form1);
    const int result = Application::exec();
    Forms::reset();
    return result;
}
