// vorlane-cli: the catalogue from the command line.
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::fprintf(stderr, "vorlane-cli: no commands yet\n");
    return 2;
}
