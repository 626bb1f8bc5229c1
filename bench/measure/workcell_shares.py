#!/usr/bin/env python3
"""What the workcell layer changed in the placement solver's answers, over random scenes.

For each robot type, draws seeded random scenes (goal x in [-1.5, 1.5], y in [-1.0, 2.5],
underside height in [0, 1.5]; wall edge y in [0.8, 2.2]), runs `--solve --json` of the program
before the change and of the program after it, and counts per type: the scenes both take
(a scene either refuses with exit status 2 is skipped), the poses listed before and after, how
many of them cut into the wall plate or the floor by this script's own judge, the scenes that
went from solved (exit 0) to none (exit 1), and the share of solved scenes whose first-ranked
pose has a free straight motion from the initial pose (as the new JSON reports it).

The judge here is independent of the program: its own forward kinematics of the catalogue and
closed-form distances. The workcell: the wall plate, the 4 x 4 rectangle in the plane y = wallY
with x in [-4, 0] and z in [0, 4]; the floor z = 0. The bodies: the tubes (radius 0.1) of arms
1..6 (joint m to joint m+1; arm 1 exempt from the floor), the hand tube (joint 7 to the work
point) and the workpiece box (0.35 x 0.3 x 0.2 along the work's axes, centred on the work point).
A clearance is the distance less the radius, or minus the depth when a body reaches into the
plate; a pose is valid when every clearance is at least -1e-5.

Before counting, the judge is checked against the new program's JSON on the first scenes of
every type: its poses put the work on the goal, and its wall and floor clearances agree.

Usage:
  workcell_shares.py OLD_BINARY NEW_BINARY [--scenes N] [--seed S] [--jobs J] [--check N]
"""

import argparse
import json
import math
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

TOLERANCE = 1e-5  # the contact band: clearances down to minus this count as touching
RADIUS = 0.1
WORK_SIZE = (0.35, 0.3, 0.2)
HALF_HEIGHT = WORK_SIZE[2] / 2
PLATE = 4.0
GOAL_ORIENTATION = ((1, 0, 0), (0, -1, 0), (0, 0, -1))  # the workpiece put down from above

# The catalogue: axis letters of joints 1..7, joint heights in the zero pose, the joint that
# the initial pose bends by pi/2.
CATALOGUE = {
    1: ("RQRPRPR", (0, 1.0, 2.0, 2.2, 4.0, 4.1, 4.2), 2),
    2: ("RQPPRPR", (0, 1.0, 2.2, 3.0, 4.0, 4.1, 4.2), 2),
    3: ("QPRPRPR", (1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2), 1),
    4: ("QPPQRPR", (1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2), 1),
}
WORK_HEIGHT = 4.4  # the work point in the zero pose

# Zero-pose frame of a joint by its axis letter; columns are its x, y, z axes (z: the rotation
# axis). 'R' turns about world z, 'P' about world x, 'Q' about world y.
AXIS_FRAME = {
    "R": ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
    "P": ((0, 0, 1), (1, 0, 0), (0, 1, 0)),
    "Q": ((0, 1, 0), (0, 0, 1), (1, 0, 0)),
}


# --- small vector algebra ---------------------------------------------------------------------


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def scale(k, a):
    return (k * a[0], k * a[1], k * a[2])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    return math.sqrt(dot(a, a))


def matmul(A, B):
    return tuple(tuple(sum(A[i][k] * B[k][j] for k in range(3)) for j in range(3)) for i in range(3))


def matvec(A, v):
    return tuple(A[i][0] * v[0] + A[i][1] * v[1] + A[i][2] * v[2] for i in range(3))


def transpose(A):
    return tuple(tuple(A[j][i] for j in range(3)) for i in range(3))


def rot_z(angle):
    c, s = math.cos(angle), math.sin(angle)
    return ((c, -s, 0), (s, c, 0), (0, 0, 1))


def column(A, j):
    return (A[0][j], A[1][j], A[2][j])


# --- the robot --------------------------------------------------------------------------------


class Robot:
    """The model of one type: each joint's frame and link relative to the previous joint's
    frame, and the hand in joint 7's frame, all from the zero pose."""

    def __init__(self, robot_type):
        letters, heights, bending = CATALOGUE[robot_type]
        identity = AXIS_FRAME["R"]
        frames = [identity] + [AXIS_FRAME[c] for c in letters]
        points = [(0.0, 0.0, 0.0)] + [(0.0, 0.0, h) for h in heights]
        self.rel = []  # frame i in frame i-1 before its rotation
        self.link = []  # joint i - joint i-1 in frame i-1
        for i in range(1, 8):
            self.rel.append(matmul(transpose(frames[i - 1]), frames[i]))
            self.link.append(matvec(transpose(frames[i - 1]), sub(points[i], points[i - 1])))
        self.hand = matvec(transpose(frames[7]), sub((0.0, 0.0, WORK_HEIGHT), points[7]))
        self.work_frame = transpose(frames[7])  # the work's orientation in joint 7's frame
        self.q_init = [0.0] * 7
        self.q_init[bending - 1] = math.pi / 2

    def fk(self, q):
        """Joint positions 1..7 (list index 0..6), the work point and the work orientation."""
        E = AXIS_FRAME["R"]
        p = (0.0, 0.0, 0.0)
        joints = []
        for i in range(7):
            p = add(p, matvec(E, self.link[i]))
            joints.append(p)
            E = matmul(matmul(E, self.rel[i]), rot_z(q[i]))
        work = add(p, matvec(E, self.hand))
        return joints, work, matmul(E, self.work_frame)


# --- distances --------------------------------------------------------------------------------


def clamp(x, lo, hi):
    return lo if x < lo else hi if x > hi else x


def segment_segment(p1, q1, p2, q2):
    """Distance between segments p1..q1 and p2..q2 (closest points, Ericson 5.1.9)."""
    d1, d2, r = sub(q1, p1), sub(q2, p2), sub(p1, p2)
    a, e, f = dot(d1, d1), dot(d2, d2), dot(d2, r)
    if a <= 1e-300 and e <= 1e-300:
        return norm(r)
    if a <= 1e-300:
        s, t = 0.0, clamp(f / e, 0.0, 1.0)
    else:
        c = dot(d1, r)
        if e <= 1e-300:
            s, t = clamp(-c / a, 0.0, 1.0), 0.0
        else:
            b = dot(d1, d2)
            denom = a * e - b * b
            s = clamp((b * f - c * e) / denom, 0.0, 1.0) if denom > 0 else 0.0
            t = (b * s + f) / e
            if t < 0:
                t, s = 0.0, clamp(-c / a, 0.0, 1.0)
            elif t > 1:
                t, s = 1.0, clamp((b - c) / a, 0.0, 1.0)
    return norm(sub(add(p1, scale(s, d1)), add(p2, scale(t, d2))))


class Plate:
    def __init__(self, wall_y):
        self.y, self.x0, self.x1, self.z0, self.z1 = wall_y, -PLATE, 0.0, 0.0, PLATE
        c = [(0.0, wall_y, 0.0), (0.0, wall_y, PLATE), (-PLATE, wall_y, PLATE), (-PLATE, wall_y, 0.0)]
        self.corners = c
        self.rim = [(c[k], c[(k + 1) % 4]) for k in range(4)]

    def point(self, p):
        c = (clamp(p[0], self.x0, self.x1), self.y, clamp(p[2], self.z0, self.z1))
        return norm(sub(p, c))

    def pierce(self, a, b):
        """How far inside the rim segment a..b crosses the plate (>= 0), or None."""
        ha, hb = a[1] - self.y, b[1] - self.y
        if ha * hb > 0 or ha == hb:
            return None
        x = add(a, scale(ha / (ha - hb), sub(b, a)))
        if x[0] < self.x0 or x[0] > self.x1 or x[2] < self.z0 or x[2] > self.z1:
            return None
        return min(x[0] - self.x0, self.x1 - x[0], x[2] - self.z0, self.z1 - x[2])

    def segment(self, a, b):
        """Distance of segment a..b from the plate when it does not cross it: an end against
        the plate, or the segment against the rim."""
        best = min(self.point(a), self.point(b))
        for u, v in self.rim:
            best = min(best, segment_segment(a, b, u, v))
        return best

    def tube(self, a, b, radius):
        depth = self.pierce(a, b)
        return -(radius + depth) if depth is not None else self.segment(a, b) - radius


class Box:
    def __init__(self, centre, frame):
        self.c = centre
        self.axis = [column(frame, i) for i in range(3)]
        self.h = [s / 2 for s in WORK_SIZE]

    def corners(self):
        out = []
        for i in range(8):
            p = self.c
            for k in range(3):
                p = add(p, scale(self.h[k] if (i >> k) & 1 else -self.h[k], self.axis[k]))
            out.append(p)
        return out

    def edges(self):
        out = []
        for i in range(3):
            j, k = (i + 1) % 3, (i + 2) % 3
            for sj in (-1, 1):
                for sk in (-1, 1):
                    mid = add(self.c, add(scale(sj * self.h[j], self.axis[j]), scale(sk * self.h[k], self.axis[k])))
                    out.append((sub(mid, scale(self.h[i], self.axis[i])), add(mid, scale(self.h[i], self.axis[i]))))
        return out

    def point(self, p):
        s = 0.0
        for i in range(3):
            out = abs(dot(sub(p, self.c), self.axis[i])) - self.h[i]
            if out > 0:
                s += out * out
        return math.sqrt(s)

    def extent(self, n):
        """Half the box's width along unit direction n."""
        return sum(self.h[i] * abs(dot(self.axis[i], n)) for i in range(3))

    def segment_meets(self, a, b):
        """Whether segment a..b meets the box (slabs in the box's frame)."""
        lo, hi = 0.0, 1.0
        for i in range(3):
            pa, d = dot(sub(a, self.c), self.axis[i]), dot(sub(b, a), self.axis[i])
            if abs(d) < 1e-300:
                if abs(pa) > self.h[i]:
                    return False
                continue
            t1, t2 = (-self.h[i] - pa) / d, (self.h[i] - pa) / d
            if t1 > t2:
                t1, t2 = t2, t1
            lo, hi = max(lo, t1), min(hi, t2)
            if lo > hi:
                return False
        return True


def box_plate(box, plate):
    """Signed clearance of the box from the plate: their distance when apart (box edges against
    the plate, plate corners against the box), else minus the least overlap over the separating
    axes (the plate's normal and in-plane axes, the box's axes and their cross products with the
    plate's edges): the depth."""
    edges = box.edges()
    meets = any(plate.pierce(a, b) is not None for a, b in edges) or any(
        box.segment_meets(u, v) for u, v in plate.rim
    )
    if not meets:
        best = min(box.point(c) for c in plate.corners)
        for a, b in edges:
            best = min(best, plate.segment(a, b))
        return best
    axes = [(0, 1, 0), (1, 0, 0), (0, 0, 1)] + list(box.axis)
    for u in box.axis:
        for e in ((1, 0, 0), (0, 0, 1)):
            n = cross(u, e)
            length = norm(n)
            if length > 1e-12:
                axes.append(scale(1 / length, n))
    centre = ((plate.x0 + plate.x1) / 2, plate.y, (plate.z0 + plate.z1) / 2)
    half = ((plate.x1 - plate.x0) / 2, 0.0, (plate.z1 - plate.z0) / 2)
    depth = math.inf
    for n in axes:
        plate_extent = half[0] * abs(n[0]) + half[2] * abs(n[2])
        gap = abs(dot(sub(box.c, centre), n))
        depth = min(depth, box.extent(n) + plate_extent - gap)
    return -depth


def judge(robot, wall_y, q, plate=None):
    """(wall clearance, floor clearance, work point, work orientation) of pose q."""
    plate = plate or Plate(wall_y)
    joints, work, Ew = robot.fk(q)
    ends = joints + [work]
    wall = math.inf
    floor = math.inf
    for m in range(7):  # arms 1..6, then the hand
        a, b = ends[m], ends[m + 1]
        wall = min(wall, plate.tube(a, b, RADIUS))
        if m != 0:
            floor = min(floor, min(a[2], b[2]) - RADIUS)
    box = Box(work, Ew)
    wall = min(wall, box_plate(box, plate))
    floor = min(floor, min(c[2] for c in box.corners()))
    return wall, floor, work, Ew


def valid(wall, floor):
    return wall >= -TOLERANCE and floor >= -TOLERANCE


# --- the programs -----------------------------------------------------------------------------


def solve(binary, robot_type, goal, wall_y):
    args = [binary, "--solve", "--type", str(robot_type), "--goal"]
    args += [repr(v) for v in goal] + ["--wall", repr(wall_y), "--json"]
    p = subprocess.run(args, capture_output=True, text=True)
    doc = json.loads(p.stdout) if p.returncode in (0, 1) else None
    return p.returncode, doc


def scenes(robot_type, count, seed):
    rng = random.Random(seed * 10 + robot_type)
    for _ in range(count):
        goal = (rng.uniform(-1.5, 1.5), rng.uniform(-1.0, 2.5), rng.uniform(0.0, 1.5))
        yield goal, rng.uniform(0.8, 2.2)


def check_judge(robot, goal, wall_y, doc, worst):
    """The judge against the new program's JSON: the work on the goal, the same clearances."""
    centre = (goal[0], goal[1], goal[2] + HALF_HEIGHT)
    for pose in doc["solutions"]:
        wall, floor, work, Ew = judge(robot, wall_y, pose["q"])
        worst["goal"] = max(worst["goal"], norm(sub(work, centre)))
        worst["orientation"] = max(
            worst["orientation"], max(abs(Ew[i][j] - GOAL_ORIENTATION[i][j]) for i in range(3) for j in range(3))
        )
        worst["wall"] = max(worst["wall"], abs(wall - pose["wall_clearance"]))
        worst["floor"] = max(worst["floor"], abs(floor - pose["floor_clearance"]))
        worst["valid"] += valid(wall, floor) != pose["valid"]
        worst["poses"] += 1


def measure(robot_type, scene, old, new):
    goal, wall_y = scene
    old_status, old_doc = solve(old, robot_type, goal, wall_y)
    new_status, new_doc = solve(new, robot_type, goal, wall_y)
    return goal, wall_y, old_status, old_doc, new_status, new_doc


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("old", help="the program before the change")
    parser.add_argument("new", help="the program after it")
    parser.add_argument("--scenes", type=int, default=1000, help="random scenes per type")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--jobs", type=int, default=2, help="programs run at once")
    parser.add_argument("--check", type=int, default=50, help="scenes per type that check the judge")
    args = parser.parse_args()

    rows = []
    worst = {"goal": 0.0, "orientation": 0.0, "wall": 0.0, "floor": 0.0, "valid": 0, "poses": 0}
    with ThreadPoolExecutor(args.jobs) as pool:
        for robot_type in range(1, 5):
            robot = Robot(robot_type)
            row = {"type": robot_type, "scenes": 0, "refused": 0, "before": 0, "after": 0,
                   "invalid_before": 0, "invalid_after": 0, "lost": 0, "gained": 0,
                   "solved_after": 0, "first_free": 0}
            work = [(robot_type, s, args.old, args.new) for s in scenes(robot_type, args.scenes, args.seed)]
            for k, (goal, wall_y, old_status, old_doc, new_status, new_doc) in enumerate(
                pool.map(lambda w: measure(*w), work)
            ):
                if old_status == 2 or new_status == 2:
                    row["refused"] += 1
                    continue
                if old_doc is None or new_doc is None:
                    sys.exit(f"type {robot_type}, goal {goal}, wall {wall_y}: status {old_status}/{new_status}")
                if k < args.check:
                    check_judge(robot, goal, wall_y, new_doc, worst)
                plate = Plate(wall_y)
                row["scenes"] += 1
                row["before"] += len(old_doc["solutions"])
                row["after"] += len(new_doc["solutions"])
                for doc, key in ((old_doc, "invalid_before"), (new_doc, "invalid_after")):
                    for pose in doc["solutions"]:
                        wall, floor, _, _ = judge(robot, wall_y, pose["q"], plate)
                        row[key] += not valid(wall, floor)
                row["lost"] += old_status == 0 and new_status == 1
                row["gained"] += old_status == 1 and new_status == 0
                if new_status == 0:
                    row["solved_after"] += 1
                    row["first_free"] += not new_doc["solutions"][0]["straight_motion"]["collides"]
            rows.append(row)
            print(f"type {robot_type} done", file=sys.stderr, flush=True)

    print(f"The judge against the new JSON ({worst['poses']} poses): work from the goal "
          f"{worst['goal']:.2e}, orientation {worst['orientation']:.2e}, wall clearance "
          f"{worst['wall']:.2e}, floor clearance {worst['floor']:.2e}, validity disagreeing "
          f"{worst['valid']}")
    trusted = worst["goal"] <= 1e-9 and worst["wall"] <= 1e-6 and worst["floor"] <= 1e-6 and worst["valid"] == 0
    if not trusted:
        print("THE JUDGE DISAGREES WITH THE PROGRAM: the counts below are not to be trusted")
    print()
    print(f"{args.scenes} scenes per type, seed {args.seed}")
    print("| type | scenes | refused | poses before | poses after | invalid before | invalid after "
          "| solved -> none | none -> solved | first pose's straight motion free |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        share = 100.0 * r["first_free"] / r["solved_after"] if r["solved_after"] else float("nan")
        print(f"| {r['type']} | {r['scenes']} | {r['refused']} | {r['before']} | {r['after']} | "
              f"{r['invalid_before']} | {r['invalid_after']} | {r['lost']} | {r['gained']} | "
              f"{share:.1f} % of {r['solved_after']} |")
    return 0 if trusted else 1


if __name__ == "__main__":
    sys.exit(main())
