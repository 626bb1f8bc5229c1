#include "app/display.h"

#include <GL/glut.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/keyboard.h"
#include "app/map_job.h"
#include "app/motion.h"
#include "app/scene_state.h"
#include "model/robot_catalogue.h"
#include "render/map_overlay.h"
#include "render/robot_drawing.h"
#include "render/scene_frame.h"
#include "task/placement_trace.h"
#include "task/workcell_notes.h"

namespace {

void* const kFont = GLUT_BITMAP_HELVETICA_18;
void* const kNoteFont = GLUT_BITMAP_HELVETICA_12;

// The reference window, 600 x 600: window texts are placed in it and keep their distance to
// their corner in a window of another size.
constexpr int kDesignedSize = 600;

// The floor map's legend and progress: in the bottom-right corner, this far from both edges.
constexpr int kCornerMargin = 5;
constexpr int kPanelPad = 6;
const char kProgressNote[] = "ESC quits; other keys are ignored until it is done";

// Camera: distance, azimuth (radians) and height of the eye, looking at the origin, z up.
constexpr double kEyeDistance = 14.0;
constexpr double kEyeAzimuth = 0.2;
constexpr double kEyeHeight = 8.0;

const char kKeyHelpRows[7][100] = {
    "'F':Robot Choice\n",
    "'O':Obstacle Set. Go to Character Screen\n",
    "'G':Goal Position Set(after Robot Choice). Go to Character Screen\n",
    "'B':Sol. L-Contact and Positioning by Method B\n",
    "'C':Motion from Initial to Goal\n",
    "'D':Joint Rotate to See Which Arm Contacts with Wall Edge\n",
    " \n",
};

// The robot-type label; its sixth character becomes the type's digit.
const char kTypeLabel[] = "JTYPE1=\n";
constexpr int kTypeDigitIndex = 5;

const char kJointRotateHint[] = "'s':Joint Rotate, and Hit Arm Number";
const char kMoveRobotHint[] = "Push  's'   to Move Robot";
const char kCannotProgress[] = "Method B Cannot Progress: Hit 'A' for All Solutions";

// Menu captions, each at (x, -2.0, -2.0) of the camera frame.
struct Caption {
  float x;
  const char* text;
};
const Caption kMenuCaptions[5] = {
    {2.0f, "Choose Robot Number"}, {2.4f, "1 : RP-RP-RPR"}, {2.8f, "2 : RQ-PP-RPR"},
    {3.2f, "3 : QP-RP-RPR"},       {3.6f, "4 : QP-PQ-RPR"},
};

// A status message: up to three lines at y = -1.0, z = 0.0 of the camera frame.
struct StatusMessage {
  int lineCount;
  Caption lines[3];
};
// Row r of the status table is kStatusMessages[r - 1].
const StatusMessage kStatusMessages[9] = {
    {2,
     {{3.0f, "No Line Contact/Positioning Solution"},
      {3.5f, "Stop Calcul and Go to 'B', 'G', 'O' or 'F'"}}},
    {2, {{3.0f, "No Line Contact Solution"}, {3.5f, "Continue Calcul by Hit 'a' for PO-Solution"}}},
    {2,
     {{4.0f, "Obtained Final Solution of Arm-Wall Contact"},
      {4.5f, "Hit 'C' for Motion from Start to Goal"}}},
    {3,
     {{4.0f, "Obtained Solution of Arm-Wall Non-Contact"},
      {4.5f, "If Contact Solution Needed, Conitue 'a' 'b'"},
      {5.0f, "Else Hit 'C' for Robot Motion from Start to Goal"}}},
    {2,
     {{3.0f, "No Position/Orientation Inverse Solution"},
      {3.5f, "Continue Calcul by Hit 'b' for L-contact Solution"}}},
    {2,
     {{3.0f, "Arm Invades Wall, and P-Error Still Large"},
      {3.5f, "Continue Calcul by Hit 'a' 'b'"}}},
    {2, {{3.0f, "Arm Invades Wall"}, {3.5f, "Continue Calcul by Hit 'a' 'b'"}}},
    {2,
     {{3.0f, "Arm Contacts Wall Ege, but P-Error Still Large"},
      {3.5f, "Continue Calcul by Hit 'a' 'b'"}}},
    {2,
     {{3.0f, "Arm is Apart from Wall Ege, but P-Error Still Large"},
      {3.5f, "Continue Calcul by Hit 'a' 'b'"}}},
};

// The window's size: the viewport's.
void window_size(int& width, int& height) {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  width = viewport[2];
  height = viewport[3];
}

// Camera, perspective and light for the window's size, onto a fresh modelview matrix.
void set_camera_and_light() {
  int width, height;
  window_size(width, height);
  set_scene_camera(width, height);
}

void draw_type_label() {
  char label[sizeof kTypeLabel];
  for (unsigned k = 0; k < sizeof kTypeLabel; k++) label[k] = kTypeLabel[k];
  label[kTypeDigitIndex] = digit_char(robot.type);
  draw_text_2d(5, 10, kFont, label, kBottomLeft);
  draw_text_2d(85, 10, kFont, robot.jrtypeText, kBottomLeft);
}

void draw_hints() {
  if (scene.setMode == 'D') draw_text_3d(-2.0f, -5.0f, 0.0f, kFont, kJointRotateHint);
  if (scene.calcMode == 'W') {
    if (scene.wallFreeFound) {
      draw_text_3d(5.0f, 0.0f, 0.0f, kFont, kMoveRobotHint);
      draw_text_3d(5.5f, 0.0f, 0.0f, kFont, "Push  'T'   to Play It in Real Time");
    } else {
      char line[96];
      std::snprintf(line, sizeof line, "No Wall-Free Motion: %s", scene.wallFreeWhy);
      draw_text_3d(5.0f, 0.0f, 0.0f, kFont, line);
    }
  }
  if (scene.calcMode != 'C') return;
  draw_text_3d(5.0f, 0.0f, 0.0f, kFont, kMoveRobotHint);
  char warning[80];
  straight_motion_warning(scene.straight, cell, warning);
  if (warning[0] == '\0') return;
  draw_text_3d(5.5f, 0.0f, 0.0f, kFont, warning);
  draw_text_3d(6.0f, 0.0f, 0.0f, kFont, "Hit 'W' for a Wall-Free Motion");
}

// The four robot types side by side in their zero pose, numbered, with the list of their joint
// structures. Each is built into a model and kinematic state of its own, so the program's stay
// as they are.
void draw_robot_menu() {
  const char* const numbers[4] = {"1", "2", "3", "4"};
  const float baseY[4] = {-2.0f, -1.0f, 0.0f, 1.0f};
  static RobotModel menuRobot;
  static Kinematics menuKinematics;
  for (int k = 1; k <= 4; k++) {
    const float y = baseY[k - 1];
    robot_setup(k, menuRobot);
    menuKinematics = Kinematics(menuRobot);
    menuKinematics.Jpos[0] = {0.0, y, -2.0};
    draw_robot(menuRobot, scene.qZero, menuKinematics);
    draw_text_3d(0.5f, y, -2.0f, kFont, numbers[k - 1]);
  }
  for (const Caption& caption : kMenuCaptions)
    draw_text_3d(caption.x, -2.0f, -2.0f, kFont, caption.text);
}

// The complete solver's outcome: the final-pose message of the kind shown, which solution of how
// many it is, or the reason there is none.
void draw_solutions_message() {
  const PlacementResult& result = scene.placements;
  char line[160];
  if (result.count == 0) {
    std::snprintf(line, sizeof line, "No Solution: %s", placement_reason(result, cell).c_str());
    draw_text_3d(3.0f, -1.0f, 0.0f, kFont, line);
    return;
  }
  const PlacementPose& pose = result.poses[scene.placementShown];
  const bool touch = pose.kind == kPlacementTouch;
  draw_text_3d(4.0f, -1.0f, 0.0f, kFont,
               touch ? "Obtained Final Solution of Arm-Wall Contact"
                     : "Obtained Final Solution of Arm-Wall Non-Contact");
  draw_text_3d(4.5f, -1.0f, 0.0f, kFont, "Hit 'C' for Motion from Start to Goal");
  if (touch)
    std::snprintf(line, sizeof line, "Solution %d of %d: Contact, Arm %d ('n': Next)",
                  scene.placementShown + 1, result.count, pose.arm);
  else
    std::snprintf(line, sizeof line, "Solution %d of %d: Non-Contact, Margin %.4f ('n': Next)",
                  scene.placementShown + 1, result.count, pose.edgeClearance);
  draw_text_3d(5.0f, -1.0f, 0.0f, kFont, line);
}

void draw_status_message() {
  const int row = method_b_status_row(scene.methodB);
  if (row == 0) return;
  const StatusMessage& message = kStatusMessages[row - 1];
  for (int k = 0; k < message.lineCount; k++)
    draw_text_3d(message.lines[k].x, -1.0f, 0.0f, kFont, message.lines[k].text);
  const float below = message.lines[message.lineCount - 1].x + 0.5f;
  // Under the message: the steps repeat, so asking for more of them leads nowhere.
  if (scene.methodBStuck && !method_b_final(scene.methodB))
    draw_text_3d(below, -1.0f, 0.0f, kFont, kCannotProgress);
  if (!method_b_final(scene.methodB)) return;
  // A final pose the workcell finds cutting the wall or the floor.
  Kinematics workspace(robot);
  WorkcellClearance c;
  pose_check(robot, cell, scene.methodB.qGoal, workspace, c);
  char warning[80];
  final_pose_warning(c, cell, warning);
  if (warning[0] == '\0') return;
  draw_text_3d(below, -1.0f, 0.0f, kFont, warning);
  draw_text_3d(below + 0.5f, -1.0f, 0.0f, kFont, "Hit 'A' for All Solutions");
}

// The offset of the pixel frame from the reference frame for texts kept to `corner`.
void corner_offset(WindowCorner corner, int width, int height, float& dx, float& dy) {
  dx = corner == kBottomRight || corner == kTopRight ? width - kDesignedSize : 0;
  dy = corner == kTopLeft || corner == kTopRight ? height - kDesignedSize : 0;
}

// Onto a pushed modelview matrix, the window's pixel frame (origin at its lower left), unlit and
// without depth test, drawing black; end_window_frame undoes it.
void begin_window_frame(int& width, int& height) {
  window_size(width, height);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(0, width, 0, height);
  glPushAttrib(GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3f(0, 0, 0);
}

void end_window_frame() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glPopAttrib();
  glPopMatrix();
}

int text_width(void* font, const char* text) {
  return glutBitmapLength(font, reinterpret_cast<const unsigned char*>(text));
}

// The floor map's legend in the bottom-right corner.
void draw_floor_map_legend() {
  int width, height, w, h;
  window_size(width, height);
  map_floor_legend_size(w, h);
  draw_map_floor_legend(width - kCornerMargin - w, kCornerMargin);
}

// While the map is computed, in the legend's corner: how many of its cells are done, and that
// keys other than ESC are ignored meanwhile (naming the last one ignored).
void draw_floor_map_progress() {
  long done, total;
  floor_map_progress(done, total);
  char line[80], longest[80], note[100];
  std::snprintf(line, sizeof line, "Computing Map %ld / %ld", done, total);
  std::snprintf(longest, sizeof longest, "Computing Map %ld / %ld", total, total);
  const int key = floor_map_ignored_key();
  if (key < 0)
    std::snprintf(note, sizeof note, "%s", kProgressNote);
  else if (key < 128 && std::isprint(key))
    std::snprintf(note, sizeof note, "Key '%c' ignored: the map is being computed", key);
  else
    std::snprintf(note, sizeof note, "Key %d ignored: the map is being computed", key);
  // As wide as it will ever be, so the panel keeps its size while the numbers count up.
  const int w =
      2 * kPanelPad + std::max({text_width(kFont, line), text_width(kFont, longest),
                                text_width(kNoteFont, note), text_width(kNoteFont, kProgressNote)});
  const int h = 2 * kPanelPad + 36;
  int width, height;
  window_size(width, height);
  draw_map_floor_panel(width - kCornerMargin - w, kCornerMargin, w, h);
  // The texts in the reference frame, kept to the bottom-right corner as the panel.
  const int x = kDesignedSize - kCornerMargin - w;
  const int y = kCornerMargin;
  draw_text_2d(x + kPanelPad, y + kPanelPad + 20, kFont, line, kBottomRight);
  draw_text_2d(x + kPanelPad, y + kPanelPad + 3, kNoteFont, note, kBottomRight);
}

// The pace of the wall-free motion's playing: about the display's 60 frames a second.
constexpr unsigned kPlayTickMs = 16;

// Whether the playing's timer is set.
bool playTimerSet = false;

void play_tick(int);

// Sets the playing's timer while the wall-free motion plays and the timer is not set.
void watch_playing() {
  if (!wall_free_motion_playing() || playTimerSet) return;
  playTimerSet = true;
  glutTimerFunc(kPlayTickMs, play_tick, 0);
}

// Moves the robot to the playing's next pose and redraws.
void play_tick(int) {
  playTimerSet = false;
  wall_free_motion_play_tick();
  glutPostRedisplay();
  watch_playing();
}

// Whether the progress timer is set.
bool progressTimerSet = false;

void progress_tick(int) {
  progressTimerSet = false;
  floor_map_poll();
  glutPostRedisplay();
  watch_floor_map();
}

}  // namespace

void display() {
  draw_frame();
  glutSwapBuffers();
}

void keyboard(unsigned char key, int, int) {
  if (dispatch_key(key)) display();
  watch_floor_map();
  watch_playing();
}

void draw_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  set_camera_and_light();
  draw_text_lines(5, 580, 7, -20, kFont, kKeyHelpRows, kTopLeft);
  draw_type_label();
  draw_hints();
  if (scene.menuState == '4') draw_robot_menu();
  if (scene.calcMode == 'B') draw_status_message();
  if (scene.calcMode == 'A') draw_solutions_message();
  draw_scene_floor(scene.viewRot, scene.viewShift);
  if (scene.menuState != '4') {
    draw_scene_objects(robot, scene.methodB.qr, kin, cell,
                       scene.floorMapShown ? &scene.floorMap : nullptr, scene.wallCorner);
    // Over the scene, so no grid line crosses them.
    if (scene.floorMapShown) draw_floor_map_legend();
  }
  if (floor_map_computing()) draw_floor_map_progress();
  glFlush();
}

void reshape(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void watch_floor_map() {
  if (!floor_map_computing() || progressTimerSet) return;
  progressTimerSet = true;
  glutTimerFunc(kMapProgressMs, progress_tick, 0);
}

void draw_text_2d(float x, float y, void* font, const char* text, WindowCorner corner) {
  int width, height;
  begin_window_frame(width, height);
  float dx, dy;
  corner_offset(corner, width, height, dx, dy);
  glRasterPos2f(x + dx, y + dy);
  for (const char* c = text; *c != '\0'; c++) glutBitmapCharacter(font, *c);
  end_window_frame();
}

void draw_text_lines(float x, float y0, int n, float dy, void* font, const char rows[][100],
                     WindowCorner corner) {
  int width, height;
  begin_window_frame(width, height);
  float offsetX, offsetY;
  corner_offset(corner, width, height, offsetX, offsetY);
  for (int i = 0; i < n; i++) {
    glRasterPos2f(x + offsetX, y0 + i * dy + offsetY);
    for (const char* c = rows[i]; *c != '\n' && *c != '\0'; c++) glutBitmapCharacter(font, *c);
  }
  end_window_frame();
}

void draw_text_3d(float x, float y, float z, void* font, const char* text) {
  glPushAttrib(GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glRasterPos3f(x, y, z);
  for (const char* c = text; *c != '\0'; c++) glutBitmapCharacter(font, *c);
  glEnable(GL_LIGHTING);
  glPopAttrib();
}
