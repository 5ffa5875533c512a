#!/usr/bin/python3
"""End-to-end test of the learning feed-forward on the simulated station: the real server on a copy of config/sim,
feedback on, a feed-forward table that misses the flat-top by 10 %, and the learning's settings and model matrices
put over HTTP as an operator would (config/sim supplies none of them).

The model is the one the learning needs for this station: the simulated board's regulation loop around the cavity,
from the feed-forward table to the controller error, derived below from the station's own values.

Usage: learning_test.py <path to tessarel_server> <path to config/sim> [test class or test ...]
"""
import cmath
import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import simstation_test as simstation  # noqa: E402
from station import wait_until  # noqa: E402

CONTROLLER = "/Controller"
LFF = "/LearningFeedForward"
TABLE_I = CONTROLLER + "/FeedForward/Correction/LearningFeedForward/I"
ERROR_I = CONTROLLER + "/Error/DAQ/I"
ERROR_Q = CONTROLLER + "/Error/DAQ/Q"
# the simulated board's drive gain: drive = table x 5 x the output calibration (README "The simulated station")
BOARD_DRIVE_GAIN = 5.0
# digits per MV/m ("Configuration/bitScaling" of config/sim)
DIGITS = 10000
# learning cycles watched in all
TOTAL_CYCLES = 15


def real_matrix(z):
    """The 2 x 2 real matrix (rows) that multiplies an (I, Q) pair as the complex number z multiplies I + iQ."""
    return [[z.real, -z.imag], [z.imag, z.real]]


def transposed(m):
    return [list(row) for row in zip(*m)]


def padded(elements, length):
    return elements + [0.0] * (length - len(elements))


def column_major(m):
    """The matrix's elements in the order the learning reads them: column by column."""
    return [m[r][c] for c in range(len(m[0])) for r in range(len(m))]


class LoopModel:
    """The board's regulation loop around the simulated cavity, one sample per step, in complex baseband.

    The cavity: dV/dt = 2 wH F - (wH - i wD) V, with half bandwidth wH = 2 pi f0 / (2 QL), detuning wD = 2 pi df and
    forward signal F = impedance x drive held over the step of T = 1 / fs; exactly over one step
        V[n] = a V[n-1] + (1 - a) 2 wH / (wH - i wD) F[n],    a = exp(-(wH - i wD) T).
    The board: drive[n] = 5 x c_out x (table[n] + K e[n]), e[n] = set point[n] - vector sum[n-1], vector sum =
    c_vs x V, with c_out and c_vs the output and vector-sum calibrations (scale, turned by their angle) and K
    the feedback gain table's magnitude (the same on I and Q). Hence, with b = c_vs (1 - a) 2 wH / (wH - i wD)
    x impedance x 5 x c_out, the closed loop
        S[n] = (a - b K) S[n-1] + b table[n] + b K set point[n],    S the vector sum,
    in which a change of table sample m changes the error e[j], j > m, by -(a - b K)^(j-1-m) b.

    The learning's backward recursion x[k] = Beta x[k+1] + Gamma e[k+1], u[k] = Omega x[k] (added to table sample k)
    is the transpose of that response applied to the error when Beta = (a - b K)^T, Gamma = 1 and Omega = mu b^T
    (complex numbers as real 2 x 2 matrices): each learning cycle is a step of mu down the gradient of the squared
    error over the learning window. Slow changes of the table reach the vector sum with the closed loop's gain
    g = |b / (1 - (a - b K))|; mu = 0.5 / g^2 removes about half of a slow error per cycle, far from the 2 / g^2
    at which the steps would overshoot."""

    def __init__(self, station):
        def value(path):
            # the controller publishes some of them only once its start settings are through
            return wait_until(lambda: (station.value(path),) if station.value(path) is not None else None, 20,
                              f"a value of {path}")[0]
        sampling_period = 1.0 / (value("/Configuration/samplingFrequency") * 1e6)  # s
        # the cavity model resonates at the station's RF frequency; simulatedDetuning is the offset from it
        resonance = value("/Configuration/rfFrequency") * 1e6  # Hz
        half_bandwidth = 2.0 * math.pi * resonance / (2.0 * value("/Model/simulatedQl"))
        decay = complex(half_bandwidth, -2.0 * math.pi * value("/Model/simulatedDetuning"))
        a = cmath.exp(-decay * sampling_period)

        def calibration(path):
            return value(path + "/scale") * cmath.exp(1j * math.radians(value(path + "/angle")))
        b = (calibration(CONTROLLER + "/VectorSum/Calibration") * (1.0 - a) * 2.0 * half_bandwidth / decay
             * value("/Model/simulatedImpedance") * BOARD_DRIVE_GAIN * calibration(CONTROLLER + "/Output/Calibration"))
        self.loop_gain = value(CONTROLLER + "/FeedBack/Gain/magnitude")
        closed_loop = a - b * self.loop_gain
        slow_gain = abs(b / (1.0 - closed_loop))
        self.learning_rate = 0.5 / slow_gain ** 2
        self.omega = column_major([[self.learning_rate * x for x in row] for row in transposed(real_matrix(b))])
        self.beta = column_major(transposed(real_matrix(closed_loop)))
        self.gamma = column_major([[1.0, 0.0], [0.0, 1.0]])
        # the field per table digit in steady state, open loop (2 for the station as shipped)
        self.static_gain = abs(b / (1.0 - a))


class LearningFeedForward(simstation.SimulatedStationTest):
    prefix = "simstation-learning"

    def put_learning_settings(self, model, per_sample):
        put = self.station.put
        put(LFF + "/modelOrder", 2)
        if per_sample:
            # the same blocks for every sample, packed with the stride of the model order (4 and 4 values)
            length = len(self.station.value(TABLE_I))
            put(LFF + "/matrixEnableShort", False)
            put(LFF + "/matrixBeta", padded(model.beta * length, 36 * length))
            put(LFF + "/matrixGamma", padded(model.gamma * length, 12 * length))
        else:
            put(LFF + "/matrixEnableShort", True)
            put(LFF + "/matrixBetaShort", padded(model.beta, 36))
            put(LFF + "/matrixGammaShort", padded(model.gamma, 12))
        put(LFF + "/matrixOmega", padded(model.omega, 12))
        put(LFF + "/triggerDecimation", 1)
        # the learning window: from the start of the filling to the end of the flat-top; the board's error at
        # sample k compares with the vector sum of sample k - 1, a delay the model holds, so no shift
        put(LFF + "/startTime", 0.0)
        put(LFF + "/stopTime", 0.0)
        put(LFF + "/shiftCorrectionTable", 0)
        # digits: learning pauses for errors beyond a fifth of the set point, never stops for a small one
        put(LFF + "/maxControlError", 0.2 * simstation.SET_POINT * DIGITS)
        put(LFF + "/minControlError", 0.0)
        # digits of the feed-forward table: far above the flat-top's mismatch of 10 % of 25000
        put(LFF + "/outputLimit", 20000)
        put(LFF + "/firEnable", False)
        put(LFF + "/smoothingEnable", False)
        put(CONTROLLER + "/FeedForward/Correction/enableLFF", True)

    def flattop_error_rms(self, errors, begin, end):
        i, q = errors
        return math.sqrt(sum(i[k] * i[k] + q[k] * q[k] for k in range(begin, end)) / (end - begin))

    def settled_error_rms(self, begin, end):
        """The flat-top error RMS once two pulses in a row agree within 1 %."""
        history = []

        def settled():
            traces = self.station.traces([ERROR_I, ERROR_Q], 1)
            history.append(self.flattop_error_rms((traces[ERROR_I][0][1], traces[ERROR_Q][0][1]), begin, end))
            return len(history) >= 2 and abs(history[-1] - history[-2]) <= 0.01 * history[-2]
        wait_until(settled, 60, "a settled flat-top error")
        return history[-1]

    def test_learning_halves_the_flattop_error_of_a_mismatch_within_ten_cycles(self):
        # the cavity as shipped, the model in the short matrices
        self.learn_against_a_mismatch(per_sample=False)

    def test_a_detuned_cavity_learns_with_the_model_given_per_sample(self):
        # detuned by half its bandwidth, the cavity turns the field: the model's I and Q are coupled
        half_bandwidth = 1e6 * self.station.value("/Configuration/rfFrequency") / (
            2.0 * self.station.value("/Model/simulatedQl"))
        self.station.put("/Model/simulatedDetuning", 0.5 * half_bandwidth)
        self.learn_against_a_mismatch(per_sample=True)

    def learn_against_a_mismatch(self, per_sample):
        model = LoopModel(self.station)
        self.put_learning_settings(model, per_sample)
        self.feed_forward_on()
        begin, end = self.flattop()
        # 10 % more feed-forward on the flat-top, then feedback on: it divides the field's error by 1 + its loop gain
        self.station.put("/OutputVectorCorrection/manualRatio", 0.55)
        self.station.put(CONTROLLER + "/FeedBack/enable", True)
        wait_until(lambda: self.station.value(CONTROLLER + "/FeedBack/enable_actual") is True, 20,
                   "the board's feedback enable")
        expected = 0.1 * simstation.SET_POINT * DIGITS / (1.0 + model.static_gain * model.loop_gain)
        wait_until(lambda: self.flattop_error_rms(
            (self.settled_trace(ERROR_I, 1), self.settled_trace(ERROR_Q, 1)), begin, end) > 0.5 * expected, 30,
            "the mismatch's error on the flat-top")
        initial = self.settled_error_rms(begin, end)
        self.assertEqual(self.station.value(LFF + "/message"), "disabled")

        # Learning cycles are the updates of the correction table (skipped ones counted); an error trace shows the
        # cycles whose tables are older than its pulse (the version numbers tell). Versions of skipped updates are
        # unknown: they count as older, so that no trace is credited to fewer cycles than it may have seen.
        cycles = []  # (version, updates) of the correction table
        errors = {}  # version -> {path: values}
        results = []  # (cycles before the pulse, flat-top error RMS)

        def take(header, values):
            if header["path"] == TABLE_I:
                cycles.append((header["version"], 1 + header["skipped"]))
                return False
            pulse = errors.setdefault(header["version"], {})
            pulse[header["path"]] = values
            if len(pulse) == 2:
                version = header["version"]
                del errors[version]
                seen = sum(count for table_version, count in cycles if table_version < version)
                results.append((seen, self.flattop_error_rms((pulse[ERROR_I], pulse[ERROR_Q]), begin, end)))
            return bool(results) and results[-1][0] >= TOTAL_CYCLES

        self.station.put(LFF + "/enable", True)
        self.station.watch([ERROR_I, ERROR_Q, TABLE_I], take, timeout=150)
        history = ", ".join(f"({c}, {r:.1f})" for c, r in results)
        halved = [seen for seen, error in results if error < 0.5 * initial]
        self.assertTrue(halved, f"error RMS {initial} never halved; (cycles, RMS): {history}")
        self.assertLessEqual(halved[0], 10, f"cycles to halve {initial}; (cycles, RMS): {history}")
        # and it goes on falling
        self.assertLess(results[-1][1], 0.25 * initial, f"from {initial}; (cycles, RMS): {history}")
        self.assertEqual(self.station.value(LFF + "/message"), "ok")
        self.assertEqual(self.station.value(LFF + "/isLimited"), 0)
        print(f"flat-top error RMS {initial:.1f} digits; (cycles, RMS): {history}", file=sys.stderr)


if __name__ == "__main__":
    simstation.SERVER, simstation.SIM = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
