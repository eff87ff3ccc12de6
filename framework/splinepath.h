#pragma once
// The path the camera flies in its path mode: the spline of
// "models\spindrel\spline.ols", evaluated eased in and out.
struct Spline;
struct V3d;

class CSplinePath
{
  public:
    CSplinePath() = default;
    CSplinePath(const CSplinePath&) = delete;
    CSplinePath& operator=(const CSplinePath&) = delete;
    ~CSplinePath();

    /// Reads the spline file; true even when it is missing (IsLoaded tells).
    bool Load();
    /// The point (and, when `tangent` is given, the tangent) at parameter `t`
    /// (0 to 1); false without a spline.
    bool Evaluate(float t, V3d* point, V3d* tangent) const;
    /// True; the spline stays for later evaluations.
    bool Release() { return true; }
    /// Frees the spline; while the engine runs (the destructor does it too).
    void Destroy();
    bool IsLoaded() const { return m_spline != nullptr; }

  private:
    Spline* m_spline = nullptr;
};
