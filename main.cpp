// Wires the Qt platform, registers the player component and runs Main.
// PLACEHOLDER until the start-up work lands.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
